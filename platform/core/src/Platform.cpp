#include "Platform.h"

#include <dlfcn.h>

#include <cstdlib>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "StringHelper.h"

namespace {
std::mutex g_fsMutex;  // guards the base-directory override

std::string narrow(const std::wstring& path) { return StringHelper::toString(path); }
}  // namespace

namespace OS {

std::wstring FileSystem::getExecutableDirectory() const {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return L".";
  std::string path(buf, size_t(n));
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return L".";
  if (slash == 0) return L"/";
  return StringHelper::toWString(path.substr(0, slash));
}

void FileSystem::getBaseDirectory(std::wstring& directory) const {
  if (const char* env = std::getenv("QUONIX_BASE_DIR"); env && *env) {
    directory = StringHelper::toWString(env);
  } else {
    std::lock_guard<std::mutex> lock(g_fsMutex);
    directory = _override.empty() ? getExecutableDirectory() : _override;
  }
  while (directory.size() > 1 && directory.back() == L'/') directory.pop_back();
}

void FileSystem::setBaseDirectory(const std::wstring& directory) {
  std::lock_guard<std::mutex> lock(g_fsMutex);
  _override = directory;
}

bool FileSystem::fileExists(const std::wstring& path) const {
  struct stat st;
  return stat(narrow(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FileSystem::directoryExists(const std::wstring& path) const {
  struct stat st;
  return stat(narrow(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

long long FileSystem::fileSize(const std::wstring& path) const {
  struct stat st;
  if (stat(narrow(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<long long>(st.st_size);
}

bool System::setEnvironmentVariable(const std::string& name, const std::string& value) {
  return ::setenv(name.c_str(), value.c_str(), 1) == 0;
}

bool System::getEnvironmentVariable(const std::string& name, std::string& value) const {
  const char* v = std::getenv(name.c_str());
  if (!v) return false;
  value = v;
  return true;
}

bool System::unsetEnvironmentVariable(const std::string& name) { return ::unsetenv(name.c_str()) == 0; }

void* DynamicLibrary::load(const std::wstring& name, std::wstring& error, int) {
  error.clear();
  if (name.empty() || name.find(L'/') != std::wstring::npos) {
    error = L"not a library name: '" + name + L"'";
    return nullptr;
  }
  const std::string file = "lib" + narrow(name) + ".so";
  const std::string beside = narrow(Platform::filesystem().getExecutableDirectory()) + "/" + file;
  // The program's own folder first, so the library it was built with wins.
  void* handle = ::dlopen(beside.c_str(), RTLD_NOW | RTLD_GLOBAL);
  if (handle) return handle;
  const char* reason = ::dlerror();
  // A library that is there but does not load says why; only a missing one is looked for further.
  std::string why = reason ? reason : "unknown reason";
  if (::access(beside.c_str(), F_OK) != 0) {
    handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (handle) return handle;
    reason = ::dlerror();
    why = reason ? reason : "unknown reason";
  }
  error = StringHelper::toWString(why);
  return nullptr;
}

}  // namespace OS

namespace Platform {
OS::DynamicLibrary& dynamiclibrary() {
  static OS::DynamicLibrary loader;
  return loader;
}
OS::FileSystem& filesystem() {
  static OS::FileSystem fs;
  return fs;
}
OS::System& system() {
  static OS::System sys;
  return sys;
}
}  // namespace Platform
