// Any text into the property-set reader (the control records of the collaborative service are
// in this form): what it accepts writes a text that reads back.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Properties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;  // an array name is at most this long
  Properties props;
  if (!Properties::fromText(std::string(reinterpret_cast<const char*>(data), size), props)) return 0;
  Properties again;
  if (!Properties::fromText(props.toText(), again)) std::abort();
  return 0;
}
