#pragma once
// Writing scene files, their VTK data files and archives of them.
#include <string>
#include <utility>
#include <vector>

#include <vtkImageData.h>
#include <vtkPolyData.h>

#include "Properties.h"

namespace scenegen {

// Creates the folder and its parents; throws std::runtime_error on failure.
void makeFolder(const std::string& path);
void writeText(const std::string& path, const std::string& text);
void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes);

// The skeleton of a scene document: format, version, status, and optionally canvas/camera.
Properties sceneDocument(const std::string& status = "complete");
// A drawable block with its type and name.
Properties drawableBlock(const std::string& type, const std::string& name);
// A block of one entry: { key = value }.
template <class T>
Properties single(const std::string& key, const T& value) {
  Properties p;
  p.set(key, value);
  return p;
}

// Writes the document in the property-set text form with a comment header.
void writeScene(const std::string& path, const Properties& document, const std::string& comment);

// VTK XML data files (appended, zlib-compressed).
void writePolyData(const std::string& path, vtkPolyData* data);
void writeImageData(const std::string& path, vtkImageData* data);

// One archive entry: its name inside the archive and its bytes.
struct ArchiveEntry {
  enum Kind { File, Folder, Symlink };
  ArchiveEntry(std::string entryName, std::string content, Kind entryKind = File, std::string target = std::string())
      : name(std::move(entryName)), bytes(std::move(content)), kind(entryKind), linkTarget(std::move(target)) {}
  std::string name;
  std::string bytes;
  Kind kind;
  std::string linkTarget;
};
std::string readFile(const std::string& path);
// format: "zip" or "tar.gz".
void writeArchive(const std::string& path, const std::vector<ArchiveEntry>& entries, const std::string& format);

}  // namespace scenegen
