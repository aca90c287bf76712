#include "Configuration.h"

#include <cmath>
#include <fstream>
#include <iostream>
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

bool readFile(const std::wstring& path, Properties& into, bool& parseFailed) {
  std::ifstream in(StringHelper::toString(path), std::ios::in | std::ios::binary);
  if (!in.is_open()) return false;
  in >> into;
  parseFailed = in.fail() || in.bad();
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

void loadConfig(ConfigStore& store) {
  const std::wstring path = baseWithSeparator() + L"config.ini";
  Properties loaded;
  bool parseFailed = false;
  if (!readFile(path, loaded, parseFailed)) {
    std::cerr << "config.ini could not be opened" << std::endl;
    return;
  }
  if (parseFailed) std::cerr << "Parsing config file failed" << std::endl;
  std::unique_lock<std::shared_mutex> lock(store._mutex);
  store._properties = std::move(loaded);  // entries read before a parse error stay
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
  }
  loadConfig(store);
}

bool mergeConfigFile(const std::string& fileName) {
  Properties extra;
  bool parseFailed = false;
  // The file name is narrow UTF-8; widen it properly rather than byte by byte.
  if (!readFile(baseWithSeparator() + StringHelper::toWString(fileName), extra, parseFailed)) return false;
  getConfig().merge(extra);
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
  ConfigStore& config = getConfig();
  if (!config.hasName(key)) return result;
  std::vector<double> values;
  if (!config.get(key, values)) return result;
  for (size_t i = 0; i < values.size() && i < 3; ++i) result[i] = values[i];
  return result;
}

std::array<double, 3> GetConfigVector3(const std::string& key, const std::array<double, 3>& defaults) {
  return GetConfigVector3(key, defaults.data());
}

double GetConfigReal(const std::string& key, double defaultValue) {
  ConfigStore& config = getConfig();
  return config.hasName(key) ? config.getReal(key) : defaultValue;
}

int GetConfigInt(const std::string& key, int defaultValue) {
  ConfigStore& config = getConfig();
  return config.hasName(key) ? config.getInt(key) : defaultValue;
}

bool GetConfigBool(const std::string& key, bool defaultValue) {
  ConfigStore& config = getConfig();
  return config.hasName(key) ? config.getBool(key) : defaultValue;
}

std::string getConfigString(const std::string& key, const std::string& defaultValue) {
  ConfigStore& config = getConfig();
  return config.hasName(key) ? config.getString(key) : defaultValue;
}

std::vector<double> GetConfigList(const std::string& key, const std::vector<double>& defaultValue) {
  ConfigStore& config = getConfig();
  std::vector<double> values;
  if (config.hasName(key) && config.get(key, values)) return values;
  return defaultValue;
}

double GetConfigRealClamped(const std::string& key, double defaultValue, double low, double high) {
  double value = GetConfigReal(key, defaultValue);
  if (std::isnan(value)) value = defaultValue;
  return value < low ? low : value > high ? high : value;
}

int GetConfigIntClamped(const std::string& key, int defaultValue, int low, int high) {
  int value = GetConfigInt(key, defaultValue);
  return value < low ? low : value > high ? high : value;
}
