#pragma once
// Turns the data entries of a scene file into data nodes: VTK XML files beside the scene
// (.vtp poly data, .vtu unstructured grids as their surface, .vti image data) or small data
// written inline. Files are named relative to the scene's folder and may not leave it.
// Runs on the loader thread: VTK readers and filters only, no OpenGL.
#include <map>
#include <string>

#include <vtkWeakPointer.h>

#include "Properties.h"
#include "kvg/Node.h"

class vtkDataObject;

// Data sets read from files by earlier loads, held weakly: while a node of an earlier load
// still holds one (the other drawable session shows the same frame), a load of the same
// unchanged file takes a shallow copy of it instead of reading and extracting it again.
struct SharedDataFile {
  vtkWeakPointer<vtkDataObject> data;
  long long size = 0;
  long long modifiedNs = 0;
};
struct SharedDataFiles {
  std::map<std::string, SharedDataFile> files;  // by path
};

class SceneDataLoader {
 public:
  enum Need { AnyData, ImageData };

  // shared: the files of earlier loads, or null to read every file.
  explicit SceneDataLoader(std::string baseDirectory, SharedDataFiles* shared = nullptr);

  // The node for a drawable's "data" entry: a file name gives one node, a list of names a
  // collection, a block inline data (or a collection of inline blocks). Null with the reason
  // in error. A file named twice gives the same node.
  kvg::Ptr<kvg::Node> load(const Properties& drawable, const char* key, Need need, std::string& error);

  // The inline form of a data node (poly data, image data, or a collection of them), as a
  // "data" block reads it back. Arrays other than numeric ones are left out.
  static Properties toInline(const kvg::Node& node);

  // Largest data file read, in bytes.
  static constexpr uint64_t MaxFileBytes = uint64_t(2) << 30;
  // Most values in one inline list, and most points of inline image data.
  static constexpr size_t MaxInlineValues = size_t(16) << 20;

 private:
  kvg::Ptr<kvg::Node> loadFile(const std::string& name, Need need, std::string& error);
  kvg::Ptr<kvg::Node> loadInline(const Properties& block, const std::string& where, Need need, std::string& error);

  std::string _baseDirectory;
  SharedDataFiles* _shared;
  std::map<std::string, kvg::Ptr<kvg::Node>> _files;
};
