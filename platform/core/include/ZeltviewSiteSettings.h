#pragma once
// Site settings: integer and text values read from "site.ini" (property-set text form)
// in the application home folder.
#include <mutex>
#include <string>

#include "Properties.h"

class ZeltviewSiteSettings {
 public:
  static ZeltviewSiteSettings& getSingleton();

  // Remembers the folder and (re)reads its "site.ini"; a missing file means no settings.
  void setApplicationHome(const std::wstring& home);
  std::wstring getApplicationHome() const;
  int getInt(const std::string& name, int defaultValue) const;
  std::string getString(const std::string& name, const std::string& defaultValue) const;

 private:
  ZeltviewSiteSettings() = default;
  mutable std::mutex _mutex;
  std::wstring _home;
  Properties _settings;
};
