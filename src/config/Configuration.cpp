#include "Configuration.h"

#include <cmath>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <mutex>
#include <sstream>

#include "Platform.h"
#include "StringHelper.h"

namespace {
std::wstring baseWithSeparator() {
  OS::FileSystem& fs = Platform::filesystem();
  std::wstring base;
  fs.getBaseDirectory(base);
  base += fs.getPathSeparator();
  return base;
}

// Reads a hand-edited property file; a malformed line is reported with the file and line and
// skipped, the rest of the file still counts.
bool readFile(const std::wstring& path, const std::string& displayName, Properties& into,
              std::map<std::string, size_t>& keyLines) {
  std::ifstream in(StringHelper::toString(path), std::ios::in | std::ios::binary);
  if (!in.is_open()) return false;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  std::vector<std::string> errors;
  Properties::fromTextResuming(text, into, errors, &keyLines);
  for (const std::string& error : errors)
    std::cerr << "Parsing config file failed: " << displayName << ", " << error << " (the line is skipped)" << std::endl;
  return true;
}
}  // namespace

bool ConfigStore::hasName(const std::string& key) const {
  std::shared_lock<std::shared_mutex> lock(_mutex);
  return _properties.hasName(key);
}
double ConfigStore::getReal(const std::string& key) const {
  std::shared_lock<std::shared_mutex> lock(_mutex);
  return _properties.getReal(key);
}
int ConfigStore::getInt(const std::string& key) const {
  std::shared_lock<std::shared_mutex> lock(_mutex);
  return _properties.getInt(key);
}
bool ConfigStore::getBool(const std::string& key) const {
  std::shared_lock<std::shared_mutex> lock(_mutex);
  return _properties.getBool(key);
}
std::string ConfigStore::getString(const std::string& key) const {
  std::shared_lock<std::shared_mutex> lock(_mutex);
  return _properties.getString(key);
}
bool ConfigStore::get(const std::string& key, std::vector<double>& values) const {
  std::shared_lock<std::shared_mutex> lock(_mutex);
  return _properties.get(key, values);
}
bool ConfigStore::get(const std::string& key, std::vector<std::string>& values) const {
  std::shared_lock<std::shared_mutex> lock(_mutex);
  return _properties.get(key, values);
}
Properties ConfigStore::snapshot() const {
  std::shared_lock<std::shared_mutex> lock(_mutex);
  return _properties;
}
void ConfigStore::merge(const Properties& other) {
  std::unique_lock<std::shared_mutex> lock(_mutex);
  _properties.merge(other);
}

bool ConfigStore::tryGetReal(const std::string& key, double& value) const {
  std::shared_lock<std::shared_mutex> lock(_mutex);
  return _properties.tryGetReal(key, value);
}
bool ConfigStore::tryGetInt(const std::string& key, int64_t& value) const {
  std::shared_lock<std::shared_mutex> lock(_mutex);
  return _properties.tryGetInt(key, value);
}
bool ConfigStore::tryGetBool(const std::string& key, bool& value) const {
  std::shared_lock<std::shared_mutex> lock(_mutex);
  return _properties.tryGetBool(key, value);
}
Properties::Type ConfigStore::typeOf(const std::string& key) const {
  std::shared_lock<std::shared_mutex> lock(_mutex);
  return _properties.typeOf(key);
}

void ConfigStore::reportWrongType(const std::string& key, const char* expected) const {
  std::string where = "config.ini";
  {
    std::shared_lock<std::shared_mutex> lock(_mutex);
    auto origin = _origins.find(key);
    if (origin != _origins.end()) where = origin->second.first + ", line " + std::to_string(origin->second.second);
  }
  std::lock_guard<std::mutex> lock(_reportedMutex);
  if (!_reported.insert(key).second) return;
  std::cerr << where << ": the value of '" << key << "' is not " << expected << "; its default is used" << std::endl;
}

void ConfigStore::merge(const Properties& other, const std::string& fileName,
                        const std::map<std::string, size_t>& lines) {
  std::unique_lock<std::shared_mutex> lock(_mutex);
  _properties.merge(other);
  for (const auto& entry : lines) _origins[entry.first] = {fileName, entry.second};
}

void loadConfig(ConfigStore& store) {
  const std::wstring path = baseWithSeparator() + L"config.ini";
  Properties loaded;
  std::map<std::string, size_t> lines;
  if (!readFile(path, "config.ini", loaded, lines)) {
    std::cerr << "config.ini could not be opened" << std::endl;
    return;
  }
  store.merge(loaded, "config.ini", lines);
}

namespace {
bool g_storeCreated = false;  // written once inside the serialised first initialisation
}

ConfigStore& getConfig() {
  // Function-local static: construction and load run once, callers arriving meanwhile wait.
  static ConfigStore* store = [] {
    g_storeCreated = true;
    static ConfigStore instance;
    loadConfig(instance);
    return &instance;
  }();
  return *store;
}

void reloadConfigForTesting() {
  if (!g_storeCreated) {
    getConfig();  // the first call loads
    return;
  }
  ConfigStore& store = getConfig();
  {
    std::unique_lock<std::shared_mutex> lock(store._mutex);
    store._properties.clear();
    store._origins.clear();
  }
  {
    std::lock_guard<std::mutex> lock(store._reportedMutex);
    store._reported.clear();
  }
  loadConfig(store);
}

bool mergeConfigFile(const std::string& fileName) {
  Properties extra;
  std::map<std::string, size_t> lines;
  // The file name is narrow UTF-8; widen it properly rather than byte by byte.
  if (!readFile(baseWithSeparator() + StringHelper::toWString(fileName), fileName, extra, lines)) return false;
  getConfig().merge(extra, fileName, lines);
  return true;
}

std::string getVRAssetsDir() {
  OS::FileSystem& fs = Platform::filesystem();
  std::wstring dir = baseWithSeparator() + L"vrassets";
  dir += fs.getPathSeparator();
  return StringHelper::toString(dir);
}

std::array<double, 3> GetConfigVector3(const std::string& key, const double defaults[3]) {
  std::array<double, 3> result{defaults[0], defaults[1], defaults[2]};
  const std::vector<double> values = GetConfigList(key, {});
  for (size_t i = 0; i < values.size() && i < 3; ++i) result[i] = values[i];
  return result;
}

std::array<double, 3> GetConfigVector3(const std::string& key, const std::array<double, 3>& defaults) {
  return GetConfigVector3(key, defaults.data());
}

double GetConfigReal(const std::string& key, double defaultValue) {
  ConfigStore& config = getConfig();
  double value = 0;
  if (!config.hasName(key)) return defaultValue;
  if (config.tryGetReal(key, value)) return value;
  config.reportWrongType(key, "a number");
  return defaultValue;
}

int GetConfigInt(const std::string& key, int defaultValue) {
  ConfigStore& config = getConfig();
  int64_t value = 0;
  if (!config.hasName(key)) return defaultValue;
  if (!config.tryGetInt(key, value)) {
    config.reportWrongType(key, "a number");
    return defaultValue;
  }
  if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (value < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}

bool GetConfigBool(const std::string& key, bool defaultValue) {
  ConfigStore& config = getConfig();
  bool value = false;
  if (!config.hasName(key)) return defaultValue;
  if (config.tryGetBool(key, value)) return value;
  config.reportWrongType(key, "true or false");
  return defaultValue;
}

std::string getConfigString(const std::string& key, const std::string& defaultValue) {
  ConfigStore& config = getConfig();
  if (!config.hasName(key)) return defaultValue;
  switch (config.typeOf(key)) {
    case Properties::Type::RealList:
    case Properties::Type::StringList:
    case Properties::Type::Nested:
      config.reportWrongType(key, "a single value");
      return defaultValue;
    default:
      return config.getString(key);
  }
}

// A key given as one number where a list belongs is still one number, not a list: it reads as
// absent like any other value of the wrong type.
std::vector<double> GetConfigList(const std::string& key, const std::vector<double>& defaultValue) {
  ConfigStore& config = getConfig();
  std::vector<double> values;
  if (!config.hasName(key)) return defaultValue;
  const Properties::Type type = config.typeOf(key);
  if ((type == Properties::Type::RealList || type == Properties::Type::StringList) && config.get(key, values))
    return values;
  config.reportWrongType(key, "a list of numbers");
  return defaultValue;
}

double GetConfigRealClamped(const std::string& key, double defaultValue, double low, double high) {
  double value = GetConfigReal(key, defaultValue);
  if (std::isnan(value)) value = defaultValue;
  return value < low ? low : value > high ? high : value;
}

double GetConfigFinite(const std::string& key, double defaultValue, bool positive) {
  const double value = GetConfigReal(key, defaultValue);
  if (std::isfinite(value) && (!positive || value > 0.0)) return value;
  getConfig().reportWrongType(key, positive ? "a positive number" : "a finite number");
  return defaultValue;
}

int GetConfigIntClamped(const std::string& key, int defaultValue, int low, int high) {
  int value = GetConfigInt(key, defaultValue);
  return value < low ? low : value > high ? high : value;
}
