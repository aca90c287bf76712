#pragma once
// Safe unpacking of a compressed scene into a folder that already exists and is empty.
#include <string>
#include <vector>

#include "SceneFormatHandler.h"

class SceneArchive {
 public:
  // Writes the archive's folders and regular files below destination. On any refusal or
  // error returns false with the reason; what was written stays for the caller to remove.
  // files receives the relative paths of the files written.
  static bool unpack(const std::string& archivePath, const std::string& destination,
                     const SceneFormatHandler::Limits& limits, std::vector<std::string>& files, std::string& error);

  // Splits an entry name into path components; false (with the reason) for an absolute
  // path, a ".." component or an empty name. Backslashes count as separators.
  static bool splitEntryPath(const std::string& name, std::vector<std::string>& components, std::string& error);
};
