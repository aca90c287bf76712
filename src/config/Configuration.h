#pragma once
// The process-wide configuration, loaded from "config.ini" in the base directory by its first
// reader. Every reader asks hasName first and otherwise uses the default of its use site.
#include <array>
#include <map>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <string>
#include <vector>

#include "Properties.h"

// The store. Reads may run on any thread while the render thread merges a per-controller
// file: every operation takes the store's reader-writer lock, so a read sees a key either
// before or after a merge, never half-merged. Merges only add or replace, so a key that
// hasName reported stays readable.
class ConfigStore {
 public:
  bool hasName(const std::string& key) const;
  double getReal(const std::string& key) const;
  int getInt(const std::string& key) const;
  bool getBool(const std::string& key) const;
  std::string getString(const std::string& key) const;
  bool get(const std::string& key, std::vector<double>& values) const;
  bool get(const std::string& key, std::vector<std::string>& values) const;
  bool tryGetReal(const std::string& key, double& value) const;
  bool tryGetInt(const std::string& key, int64_t& value) const;
  bool tryGetBool(const std::string& key, bool& value) const;
  Properties::Type typeOf(const std::string& key) const;
  // A present key whose value is not of the type its reader needs reads as absent; this says
  // so once per key on standard error, with the file and line it came from.
  void reportWrongType(const std::string& key, const char* expected) const;
  // A copy of the whole set.
  Properties snapshot() const;

  void merge(const Properties& other);
  // merge() for a file: keys remember where they were read, for reportWrongType.
  void merge(const Properties& other, const std::string& fileName, const std::map<std::string, size_t>& lines);

 private:
  friend ConfigStore& getConfig();
  friend void loadConfig(ConfigStore& store);
  friend void reloadConfigForTesting();
  ConfigStore() = default;
  mutable std::shared_mutex _mutex;
  Properties _properties;
  std::map<std::string, std::pair<std::string, size_t>> _origins;  // key -> file, line
  mutable std::mutex _reportedMutex;
  mutable std::set<std::string> _reported;
};

// The store; the first call (any thread, serialised) loads "config.ini".
ConfigStore& getConfig();
// Loads "config.ini" into the store; reports failures on standard error.
void loadConfig(ConfigStore& store);
// Merges base + separator + fileName into the store; false when it cannot be opened.
bool mergeConfigFile(const std::string& fileName);
// base + separator + "vrassets" + separator.
std::string getVRAssetsDir();
inline std::string getVRAssetsDir_2() { return getVRAssetsDir(); }
// The default, with the key's first (up to three) values replacing its leading components;
// a value that is not a list of numbers reads as if the key were absent.
std::array<double, 3> GetConfigVector3(const std::string& key, const double defaults[3]);
std::array<double, 3> GetConfigVector3(const std::string& key, const std::array<double, 3>& defaults);

// The reading pattern of the use sites: the key's value when present, else the default.
double GetConfigReal(const std::string& key, double defaultValue);
int GetConfigInt(const std::string& key, int defaultValue);
bool GetConfigBool(const std::string& key, bool defaultValue);
std::string getConfigString(const std::string& key, const std::string& defaultValue);
// The key's list when present and numeric, else the default.
std::vector<double> GetConfigList(const std::string& key, const std::vector<double>& defaultValue);
// As GetConfigReal, clamped into [low, high] (a NaN reads as the default): for values used as
// sizes, ratios or divisors.
double GetConfigRealClamped(const std::string& key, double defaultValue, double low, double high);
// As GetConfigReal for a value that must be a finite number, and above zero when positive
// (a size): any other value takes the default, said once for the key like a mistyped value.
double GetConfigFinite(const std::string& key, double defaultValue, bool positive = false);
int GetConfigIntClamped(const std::string& key, int defaultValue, int low, int high);

// Empties the store and loads "config.ini" again (tests change the base directory).
void reloadConfigForTesting();
