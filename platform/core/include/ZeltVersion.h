#pragma once
// The product's version record.
#include <string>

class ZeltVersion {
 public:
  static ZeltVersion& getSingleton();
  static const std::string _presentationVersion;  // e.g. "1.0"
  static const std::string _releaseNumber;        // e.g. "1.0.0"
  bool isDevelopmentVersion() const;

 private:
  ZeltVersion() = default;
};
