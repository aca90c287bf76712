#include "ZeltviewSiteSettings.h"

#include <fstream>

#include "StringHelper.h"

ZeltviewSiteSettings& ZeltviewSiteSettings::getSingleton() {
  static ZeltviewSiteSettings settings;
  return settings;
}

void ZeltviewSiteSettings::setApplicationHome(const std::wstring& home) {
  Properties fresh;
  std::ifstream in(StringHelper::toString(home) + "/site.ini", std::ios::in | std::ios::binary);
  if (in) in >> fresh;  // a malformed file keeps what was read before the error
  std::lock_guard<std::mutex> lock(_mutex);
  _home = home;
  _settings = std::move(fresh);
}

std::wstring ZeltviewSiteSettings::getApplicationHome() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _home;
}

int ZeltviewSiteSettings::getInt(const std::string& name, int defaultValue) const {
  std::lock_guard<std::mutex> lock(_mutex);
  int64_t value = 0;
  return _settings.tryGetInt(name, value) ? static_cast<int>(value) : defaultValue;
}

std::string ZeltviewSiteSettings::getString(const std::string& name, const std::string& defaultValue) const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _settings.hasName(name) ? _settings.getString(name) : defaultValue;
}
