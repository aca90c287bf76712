#pragma once
// Platform services: file system and environment.
#include <string>

namespace OS {

class FileSystem {
 public:
  // The program's base directory (no trailing separator): "QUONIX_BASE_DIR" from the
  // environment when set, else the override, else the executable's folder.
  void getBaseDirectory(std::wstring& directory) const;
  // The folder the program's own data comes with (the sample scene); the base directory here.
  void getApplicationDataDirectory(std::wstring& directory) const { getBaseDirectory(directory); }
  wchar_t getPathSeparator() const { return L'/'; }
  // Empty restores the executable's folder.
  void setBaseDirectory(const std::wstring& directory);
  // The executable's folder.
  std::wstring getExecutableDirectory() const;
  bool fileExists(const std::wstring& path) const;
  bool directoryExists(const std::wstring& path) const;
  // Size in bytes, -1 when it is not a regular file.
  long long fileSize(const std::wstring& path) const;

 private:
  std::wstring _override;
};

class System {
 public:
  // Sets the variable for this process, replacing any value.
  bool setEnvironmentVariable(const std::string& name, const std::string& value);
  bool getEnvironmentVariable(const std::string& name, std::string& value) const;
  bool unsetEnvironmentVariable(const std::string& name);
};

class DynamicLibrary {
 public:
  // Loads the library of that name ("lib<name>.so"): first from the executable's folder, then
  // through the system's search path. The handle, or null with the loader's reason in error.
  // A library stays loaded for the rest of the process (what it registered must not go away);
  // loading it again is cheap and gives the same handle. flags: 0 (reserved).
  void* load(const std::wstring& name, std::wstring& error, int flags);
};

}  // namespace OS

namespace Platform {
OS::FileSystem& filesystem();
OS::System& system();
OS::DynamicLibrary& dynamiclibrary();
}  // namespace Platform
