#pragma once
// Where the test scenes are: the generator writes them beside the test programs.
#include <cstdlib>
#include <string>

#include "StringHelper.h"

inline std::string binDir() {
  const char* bin = std::getenv("QUONIX_BIN_DIR");
  return bin ? bin : "../bin";
}
inline std::string corpus(const std::string& name) { return binDir() + "/../tests/scenes/" + name; }
inline std::wstring wide(const std::string& path) { return StringHelper::toWString(path); }
