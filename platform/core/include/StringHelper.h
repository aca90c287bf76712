#pragma once
// Wide <-> narrow conversion; narrow strings are UTF-8 throughout the program.
#include <string>

class StringHelper {
 public:
  // Invalid code points become U+FFFD.
  static std::string toString(const std::wstring& text);
  // Invalid UTF-8 sequences become U+FFFD, one per bad byte.
  static std::wstring toWString(const std::string& text);
};
