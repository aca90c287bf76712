#include "ZeltVersion.h"

#ifndef QUONIX_VERSION_MAJOR_MINOR
#define QUONIX_VERSION_MAJOR_MINOR "0.0"
#endif
#ifndef QUONIX_VERSION_FULL
#define QUONIX_VERSION_FULL "0.0.0"
#endif
#ifndef QUONIX_DEVELOPMENT
#define QUONIX_DEVELOPMENT 1
#endif

const std::string ZeltVersion::_presentationVersion = QUONIX_VERSION_MAJOR_MINOR;
const std::string ZeltVersion::_releaseNumber = QUONIX_VERSION_FULL;

ZeltVersion& ZeltVersion::getSingleton() {
  static ZeltVersion version;
  return version;
}

bool ZeltVersion::isDevelopmentVersion() const { return QUONIX_DEVELOPMENT != 0; }
