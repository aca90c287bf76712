#pragma once
// The scenes a server offers: each has the name clients pick, the key the server answers for it,
// and its frames, each a scene record (a property set) that the server sends to viewers.
//
// Scenes come from scene files named on the command line (until the scene-file reader is
// available the server serves a file's text as one frame: its record holds "SceneFile", the
// absolute path, and "Text", the file's content) or from in-memory descriptions made by
// addGenerated (a few frames of a small moving model).
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
  static constexpr size_t MAX_FILE_SIZE = 16u * 1024u * 1024u;

  bool addFile(const std::string& path, std::string& error);
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
