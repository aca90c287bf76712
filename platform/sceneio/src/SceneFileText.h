#pragma once
// Checks on the raw text of a scene file, before (or instead of) parsing it.
#include <string>

class SceneFileText {
 public:
  // The identifying first entry of every scene file.
  static constexpr const char* FormatName = "quonix-scene";

  // True when the text (the start of a file) begins, after blank and comment lines, with
  // "format = quonix-scene"; otherwise false with a sentence on what the text is.
  static bool looksLikeScene(const std::string& head, std::string& reason);
  // The length of the text up to the end of its first line that is neither blank nor a comment
  // (what looksLikeScene needs to see); npos while that line has not ended within the text.
  static size_t headLength(const std::string& text);
  // True when a top-level entry says status = "being written" (read even from a file cut
  // off while it is written).
  static bool declaresBeingWritten(const std::string& text);
  // Drops a UTF-8 byte-order mark.
  static void stripByteOrderMark(std::string& text);
};
