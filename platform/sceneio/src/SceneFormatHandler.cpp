#include "SceneFormatHandler.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "SceneArchive.h"
#include "SceneFileText.h"
#include "kvg/SDBReader.h"
#include "StringHelper.h"

namespace {

// The unpacked folders of this process, removed at the latest when it exits.
class UnpackRegistry {
 public:
  ~UnpackRegistry() {
    removeAll();
    destroyed = true;
  }
  static bool destroyed;

  void add(const std::string& folder) {
    std::lock_guard<std::mutex> guard(_mutex);
    _folders.push_back(folder);
  }
  // The kept folder that holds the path, or empty.
  std::string folderOf(const std::string& path) {
    std::lock_guard<std::mutex> guard(_mutex);
    for (const std::string& f : _folders)
      if (path.size() > f.size() && path.compare(0, f.size(), f) == 0 && path[f.size()] == '/') return f;
    return std::string();
  }
  void remove(const std::string& folder) {
    {
      std::lock_guard<std::mutex> guard(_mutex);
      for (auto it = _folders.begin(); it != _folders.end(); ++it)
        if (*it == folder) {
          _folders.erase(it);
          break;
        }
    }
    removeTree(folder);
  }
  void removeAll() {
    std::vector<std::string> folders;
    {
      std::lock_guard<std::mutex> guard(_mutex);
      folders.swap(_folders);
    }
    for (const std::string& f : folders) removeTree(f);
  }
  std::vector<std::string> folders() {
    std::lock_guard<std::mutex> guard(_mutex);
    return _folders;
  }

  static void removeTree(const std::string& folder) {
    // Depth first and without following links.
    ::nftw(
        folder.c_str(),
        [](const char* p, const struct stat*, int, struct FTW*) {
          ::remove(p);
          return 0;
        },
        16, FTW_DEPTH | FTW_PHYS);
  }

 private:
  std::mutex _mutex;
  std::vector<std::string> _folders;
};

bool UnpackRegistry::destroyed = false;

UnpackRegistry* registry() {
  static UnpackRegistry r;
  return UnpackRegistry::destroyed ? nullptr : &r;
}

std::mutex limitsMutex;
SceneFormatHandler::Limits currentLimits;
thread_local std::string lastError;

bool hasPrefix(const std::string& data, size_t offset, const char* magic, size_t length) {
  return data.size() >= offset + length && std::memcmp(data.data() + offset, magic, length) == 0;
}

bool isArchive(const std::string& head) {
  return hasPrefix(head, 0, "PK\x03\x04", 4) || hasPrefix(head, 0, "PK\x05\x06", 4) ||  // zip, empty zip
         hasPrefix(head, 0, "\x1f\x8b", 2) ||                                           // gzip
         hasPrefix(head, 0, "BZh", 3) ||                                                // bzip2
         hasPrefix(head, 0, "\xfd" "7zXZ\x00", 6) ||                                    // xz
         hasPrefix(head, 257, "ustar", 5);                                              // tar
}

std::string tempBase() {
  const char* t = std::getenv("TMPDIR");
  std::string base = t && *t ? t : "/tmp";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base;
}

bool endsWithSce(const std::string& path) {
  if (path.size() < 4) return false;
  std::string ext = path.substr(path.size() - 4);
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".sce";
}

}  // namespace

int SceneFormatHandler::detectSceneFormat(const std::wstring& widePath, std::ostream& diagnostics) {
  const std::string path = StringHelper::toString(widePath);
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return errno == ENOENT || path.empty() ? FileMissing : CannotOpen;
  if (!S_ISREG(st.st_mode)) return CannotOpen;
  std::ifstream in(path, std::ios::binary);
  if (!in) return CannotOpen;
  // Comments may stand before the "format" line, so the head runs up to the first entry (within
  // the size a scene file may have).
  std::string head;
  std::string chunk(64 * 1024, '\0');
  do {
    in.read(&chunk[0], std::streamsize(chunk.size()));
    if (in.bad()) return CannotOpen;
    head.append(chunk, 0, size_t(in.gcount()));
    if (isArchive(head)) return ZippedScene;
    if (head.find('\0') != std::string::npos) break;  // binary: no scene, whatever follows
  } while (in && SceneFileText::headLength(head) == std::string::npos && head.size() < kvg::SDBReader::MaxSceneFileBytes);
  if (head.empty()) {
    diagnostics << "The file is empty.";
    return UnknownFormat;
  }
  const size_t headLength = SceneFileText::headLength(head);
  if (headLength != std::string::npos) head.resize(headLength);
  std::string reason;
  if (SceneFileText::looksLikeScene(head, reason)) return PlainScene;
  diagnostics << reason;
  return UnknownFormat;
}

std::wstring SceneFormatHandler::convertZippedScene(const std::wstring& path) {
  std::string error;
  std::wstring result = convertZippedScene(path, error);
  lastError = error;
  return result;
}

std::wstring SceneFormatHandler::convertZippedScene(const std::wstring& widePath, std::string& error) {
  error.clear();
  UnpackRegistry* r = registry();
  if (!r) {
    error = "The program is ending";
    return std::wstring();
  }
  const std::string archive = StringHelper::toString(widePath);
  std::string templ = tempBase() + "/quonix-scene-XXXXXX";
  if (!::mkdtemp(&templ[0])) {
    error = std::string("Cannot create a folder to unpack into: ") + std::strerror(errno);
    return std::wstring();
  }
  const std::string folder = templ;
  r->add(folder);
  std::vector<std::string> files;
  std::string scene;
  if (SceneArchive::unpack(archive, folder, getLimits(), files, error)) {
    for (const std::string& f : files)
      if (endsWithSce(f)) {
        if (!scene.empty()) {
          error = "The archive holds more than one scene file";
          break;
        }
        scene = f;
      }
    if (error.empty() && scene.empty()) error = "The archive holds no scene file (.sce)";
    if (error.empty()) {
      std::ostringstream diagnostics;
      if (detectSceneFormat(StringHelper::toWString(folder + "/" + scene), diagnostics) != PlainScene)
        error = "The scene file in the archive is not a plain scene file";
    }
  }
  if (!error.empty()) {
    r->remove(folder);
    return std::wstring();
  }
  return StringHelper::toWString(folder + "/" + scene);
}

std::string SceneFormatHandler::getLastError() { return lastError; }

bool SceneFormatHandler::isUnpackedScene(const std::wstring& path) {
  UnpackRegistry* r = registry();
  return r && !r->folderOf(StringHelper::toString(path)).empty();
}

void SceneFormatHandler::releaseUnpackedScene(const std::wstring& path) {
  UnpackRegistry* r = registry();
  if (!r) return;
  std::string folder = r->folderOf(StringHelper::toString(path));
  if (!folder.empty()) r->remove(folder);
}

void SceneFormatHandler::removeUnpackedScenes() {
  if (UnpackRegistry* r = registry()) r->removeAll();
}

std::vector<std::string> SceneFormatHandler::getUnpackedFolders() {
  UnpackRegistry* r = registry();
  return r ? r->folders() : std::vector<std::string>();
}

SceneFormatHandler::Limits SceneFormatHandler::getLimits() {
  std::lock_guard<std::mutex> guard(limitsMutex);
  return currentLimits;
}

void SceneFormatHandler::setLimits(const Limits& limits) {
  std::lock_guard<std::mutex> guard(limitsMutex);
  currentLimits = limits;
}
