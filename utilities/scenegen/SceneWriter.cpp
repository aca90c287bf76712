#include "SceneWriter.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <vtkSmartPointer.h>
#include <vtkXMLImageDataWriter.h>
#include <vtkXMLPolyDataWriter.h>

namespace scenegen {

void makeFolder(const std::string& path) {
  std::string partial;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      if (!partial.empty() && ::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
        throw std::runtime_error("cannot create folder " + partial);
    }
    if (i < path.size()) partial += path[i];
  }
}

void writeText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  writeText(path, std::string(bytes.begin(), bytes.end()));
}

Properties sceneDocument(const std::string& status) {
  Properties doc;
  doc.set("format", "quonix-scene");
  doc.set("version", 1);
  doc.set("status", status);
  return doc;
}

Properties drawableBlock(const std::string& type, const std::string& name) {
  Properties d;
  d.set("type", type);
  d.set("name", name);
  return d;
}

void writeScene(const std::string& path, const Properties& document, const std::string& comment) {
  std::string text;
  std::istringstream lines(comment);
  for (std::string line; std::getline(lines, line);) text += "# " + line + "\n";
  writeText(path, text + document.toText());
}

namespace {
template <class Writer>
void writeXML(const std::string& path, vtkDataObject* data) {
  auto writer = vtkSmartPointer<Writer>::New();
  writer->SetFileName(path.c_str());
  writer->SetInputData(data);
  writer->SetDataModeToAppended();
  writer->SetCompressorTypeToZLib();
  if (!writer->Write()) throw std::runtime_error("cannot write " + path);
}
}  // namespace

void writePolyData(const std::string& path, vtkPolyData* data) { writeXML<vtkXMLPolyDataWriter>(path, data); }

void writeImageData(const std::string& path, vtkImageData* data) { writeXML<vtkXMLImageDataWriter>(path, data); }

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeArchive(const std::string& path, const std::vector<ArchiveEntry>& entries, const std::string& format) {
  struct archive* a = archive_write_new();
  if (format == "zip") {
    archive_write_set_format_zip(a);
  } else {
    archive_write_set_format_pax_restricted(a);
    archive_write_add_filter_gzip(a);
  }
  if (archive_write_open_filename(a, path.c_str()) != ARCHIVE_OK) {
    std::string error = archive_error_string(a);
    archive_write_free(a);
    throw std::runtime_error("cannot write " + path + ": " + error);
  }
  for (const ArchiveEntry& e : entries) {
    struct archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, e.name.c_str());
    archive_entry_set_mtime(entry, 1700000000, 0);
    if (e.kind == ArchiveEntry::Folder) {
      archive_entry_set_filetype(entry, AE_IFDIR);
      archive_entry_set_perm(entry, 0755);
    } else if (e.kind == ArchiveEntry::Symlink) {
      archive_entry_set_filetype(entry, AE_IFLNK);
      archive_entry_set_symlink(entry, e.linkTarget.c_str());
      archive_entry_set_perm(entry, 0777);
    } else {
      archive_entry_set_filetype(entry, AE_IFREG);
      archive_entry_set_perm(entry, 0644);
      archive_entry_set_size(entry, la_int64_t(e.bytes.size()));
    }
    archive_write_header(a, entry);
    if (e.kind == ArchiveEntry::File && !e.bytes.empty()) archive_write_data(a, e.bytes.data(), e.bytes.size());
    archive_entry_free(entry);
  }
  archive_write_close(a);
  archive_write_free(a);
}

}  // namespace scenegen
