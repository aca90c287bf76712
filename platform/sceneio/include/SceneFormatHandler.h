#pragma once
// Tells plain scene files from compressed ones and unpacks compressed scenes.
//
// A compressed scene is one zip or tar archive (tar may be gzip-, bzip2- or xz-compressed)
// holding exactly one ".sce" scene file and its data files. It is unpacked into a private
// folder of its own under the temporary directory (mode 0700), which is removed when the
// reader of the unpacked scene is destroyed, by removeUnpackedScenes(), or at the latest when
// the program exits normally. Unpacking refuses the whole archive when an entry names an
// absolute path or a path with "..", when an entry is anything but a regular file or a folder
// (links, devices), or when the archive exceeds the limits on entry count, entry size or
// total size; nothing is ever written outside the private folder.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

class SceneFormatHandler {
 public:
  enum Result {
    FileMissing = 1,    // no such file
    CannotOpen = 2,     // a folder, or not readable
    ZippedScene = 3,    // a compressed scene
    PlainScene = 4,     // a scene file
    UnknownFormat = 5   // anything else; the diagnostics say why
  };

  struct Limits {
    uint64_t maxEntries = 10000;
    uint64_t maxEntryBytes = uint64_t(2) << 30;
    uint64_t maxTotalBytes = uint64_t(4) << 30;
  };

  // One of Result; for UnknownFormat a sentence on what the file is writes to diagnostics.
  // Any thread.
  static int detectSceneFormat(const std::wstring& path, std::ostream& diagnostics);

  // Unpacks a compressed scene; returns the path of the scene file inside the private folder,
  // empty on failure (the reason in error, or getLastError on the calling thread).
  static std::wstring convertZippedScene(const std::wstring& path);
  static std::wstring convertZippedScene(const std::wstring& path, std::string& error);
  static std::string getLastError();

  // Whether the path lies inside a folder this handler unpacked and still keeps.
  static bool isUnpackedScene(const std::wstring& path);
  // Removes the private folder holding this unpacked scene; nothing for other paths.
  static void releaseUnpackedScene(const std::wstring& path);
  // Removes every private folder this process unpacked.
  static void removeUnpackedScenes();
  // The private folders kept now (UTF-8 paths).
  static std::vector<std::string> getUnpackedFolders();

  static Limits getLimits();
  static void setLimits(const Limits& limits);
};
