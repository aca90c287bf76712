#pragma once
// The scenes a server offers: each has the name clients pick, the key the server answers for it,
// and its frames, each a self-contained scene record (kvg::SDBReader::makeSelfContainedRecord:
// "CanvasKey", "Canvas", "Camera", "FrameContent", with every data file inline) that the server
// sends to viewers, which build it without needing any file.
//
// Every frame set of a scene file named on the command line becomes one scene, named by the frame
// set's title; addGenerated makes a scene of a small moving model in memory. A scene's key is the
// canvas key its records carry ("SceneCanvas_<n>", unique on the server), so a viewer's canvas and
// the key it asked for are the same.
//
// Built before the server starts; read-only afterwards, so any thread may read it.
#include <string>
#include <vector>

#include "Properties.h"

struct ServedScene {
  std::string name;
  std::string key;
  std::string source;  // the file, or empty for a generated scene
  std::vector<Properties> frames;
};

class SceneLibrary {
 public:
  // Reads the scene file; false with the reason when it cannot be read, is no valid scene, or
  // one of its frames cannot be made self-contained. Frame sets without frames are left out
  // (there would be nothing to send); warnings says which.
  bool addFile(const std::string& path, std::string& error, std::vector<std::string>* warnings = nullptr);
  // A generated scene of frameCount frames (at least 1). An existing name gets " (2)", " (3)", ...
  void addGenerated(const std::string& name, int frameCount);

  const std::vector<ServedScene>& scenes() const { return _scenes; }
  std::vector<std::string> names() const;
  const ServedScene* findByName(const std::string& name) const;
  const ServedScene* findByKey(const std::string& key) const;

 private:
  ServedScene& add(const std::string& name);
  std::vector<ServedScene> _scenes;
};
