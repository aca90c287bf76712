#include "SceneArchive.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

struct ArchiveCloser {
  void operator()(struct archive* a) const { archive_read_free(a); }
};

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : _fd(fd) {}
  ~FileDescriptor() { reset(); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return _fd; }
  void reset(int fd = -1) {
    if (_fd >= 0) ::close(_fd);
    _fd = fd;
  }

 private:
  int _fd;
};

// Opens (creating when missing) the folders of the path below root, one component at a time
// and never through a link; returns the descriptor of the innermost folder or -1.
int openFolders(int root, const std::vector<std::string>& components, size_t count, std::string& error) {
  int current = ::fcntl(root, F_DUPFD_CLOEXEC, 0);
  if (current < 0) {
    error = std::string("Cannot open the unpack folder: ") + std::strerror(errno);
    return -1;
  }
  for (size_t i = 0; i < count; ++i) {
    const char* name = components[i].c_str();
    if (::mkdirat(current, name, 0700) != 0 && errno != EEXIST) {
      error = "Cannot create folder '" + components[i] + "': " + std::strerror(errno);
      ::close(current);
      return -1;
    }
    int next = ::openat(current, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    ::close(current);
    if (next < 0) {
      error = "Cannot enter folder '" + components[i] + "': " + std::strerror(errno);
      return -1;
    }
    current = next;
  }
  return current;
}

}  // namespace

bool SceneArchive::splitEntryPath(const std::string& name, std::vector<std::string>& components, std::string& error) {
  components.clear();
  std::string path = name;
  for (char& c : path)
    if (c == '\\') c = '/';
  if (path.empty()) {
    error = "An archive entry has no name";
    return false;
  }
  if (path[0] == '/' || (path.size() > 1 && path[1] == ':')) {
    error = "The archive entry '" + name + "' names an absolute path";
    return false;
  }
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    if (part == "..") {
      error = "The archive entry '" + name + "' leads out of its folder";
      return false;
    }
    if (!part.empty() && part != ".") components.push_back(part);
    start = end + 1;
  }
  if (components.empty()) {
    error = "The archive entry '" + name + "' names no file";
    return false;
  }
  if (components.size() > 64) {
    error = "The archive entry '" + name + "' is nested too deeply";
    return false;
  }
  return true;
}

bool SceneArchive::unpack(const std::string& archivePath, const std::string& destination,
                          const SceneFormatHandler::Limits& limits, std::vector<std::string>& files,
                          std::string& error) {
  std::unique_ptr<struct archive, ArchiveCloser> a(archive_read_new());
  archive_read_support_format_zip(a.get());
  archive_read_support_format_tar(a.get());
  archive_read_support_filter_gzip(a.get());
  archive_read_support_filter_bzip2(a.get());
  archive_read_support_filter_xz(a.get());
  if (archive_read_open_filename(a.get(), archivePath.c_str(), 1 << 16) != ARCHIVE_OK) {
    error = std::string("Cannot read the archive: ") + archive_error_string(a.get());
    return false;
  }
  FileDescriptor root(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (root.get() < 0) {
    error = "Cannot open the unpack folder: " + std::string(std::strerror(errno));
    return false;
  }

  uint64_t entries = 0, total = 0;
  std::vector<char> buffer(1 << 16);
  struct archive_entry* entry = nullptr;
  int r;
  while ((r = archive_read_next_header(a.get(), &entry)) == ARCHIVE_OK) {
    if (++entries > limits.maxEntries) {
      error = "The archive holds more than " + std::to_string(limits.maxEntries) + " entries";
      return false;
    }
    const char* rawName = archive_entry_pathname_utf8(entry);
    if (!rawName) rawName = archive_entry_pathname(entry);
    const std::string name = rawName ? rawName : "";
    std::vector<std::string> parts;
    if (!splitEntryPath(name, parts, error)) return false;
    const mode_t type = archive_entry_filetype(entry);
    if (archive_entry_hardlink(entry) || archive_entry_symlink(entry) || (type != AE_IFREG && type != AE_IFDIR)) {
      error = "The archive entry '" + name + "' is not a plain file or folder";
      return false;
    }
    if (type == AE_IFDIR) {
      FileDescriptor folder(openFolders(root.get(), parts, parts.size(), error));
      if (folder.get() < 0) return false;
      continue;
    }
    if (archive_entry_size_is_set(entry) && uint64_t(archive_entry_size(entry)) > limits.maxEntryBytes) {
      error = "The archive entry '" + name + "' is larger than " + std::to_string(limits.maxEntryBytes) + " bytes";
      return false;
    }
    FileDescriptor folder(openFolders(root.get(), parts, parts.size() - 1, error));
    if (folder.get() < 0) return false;
    FileDescriptor out(
        ::openat(folder.get(), parts.back().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (out.get() < 0) {
      error = "Cannot write '" + name + "': " + std::strerror(errno);
      return false;
    }
    uint64_t written = 0;
    for (;;) {
      la_ssize_t n = archive_read_data(a.get(), buffer.data(), buffer.size());
      if (n == 0) break;
      if (n < 0) {
        error = "The archive entry '" + name + "' is damaged: " + archive_error_string(a.get());
        return false;
      }
      written += uint64_t(n);
      total += uint64_t(n);
      // Sizes in the headers may lie: count what really comes out.
      if (written > limits.maxEntryBytes) {
        error = "The archive entry '" + name + "' is larger than " + std::to_string(limits.maxEntryBytes) + " bytes";
        return false;
      }
      if (total > limits.maxTotalBytes) {
        error = "The archive unpacks to more than " + std::to_string(limits.maxTotalBytes) + " bytes";
        return false;
      }
      const char* p = buffer.data();
      la_ssize_t left = n;
      while (left > 0) {
        ssize_t w = ::write(out.get(), p, size_t(left));
        if (w < 0) {
          if (errno == EINTR) continue;
          error = "Cannot write '" + name + "': " + std::strerror(errno);
          return false;
        }
        p += w;
        left -= w;
      }
    }
    std::string relative;
    for (size_t i = 0; i < parts.size(); ++i) relative += (i ? "/" : "") + parts[i];
    files.push_back(relative);
  }
  if (r != ARCHIVE_EOF) {
    error = std::string("The archive is damaged: ") +
            (archive_error_string(a.get()) ? archive_error_string(a.get()) : "unreadable entry");
    return false;
  }
  return true;
}
