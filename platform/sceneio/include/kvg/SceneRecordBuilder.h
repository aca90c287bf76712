#pragma once
// Builds the scene-graph nodes of one frame of a scene file into a node stream: the canvas
// (with its background, clip planes and camera) and one drawable per entry of the frame's
// "drawables" block, with their attributes and data. The format is described in
// docs/scene-format.md. Runs on the loader thread; reads data files, makes no OpenGL call.
#include <string>
#include <vector>

#include "Properties.h"
#include "kvg/RendererNodeStream.h"

struct SharedDataFiles;

namespace kvg {

class SceneRecordBuilder {
 public:
  // baseDirectory: the folder data files are named relative to.
  // shared (optional, kept by the caller): data files read by earlier builds; a file still
  // held by one of their nodes and unchanged on disk is shared (shallow copy), not read again.
  SceneRecordBuilder(RendererNodeStream& stream, const std::string& baseDirectory, SharedDataFiles* shared = nullptr);
  ~SceneRecordBuilder();

  // Stages the frame's nodes; the canvas gets canvasKey. canvas and camera are the scene's
  // blocks (either may be empty); a frame's own "camera" replaces the scene's. False with
  // getError() on the first fault; the stream then holds a part of the frame, for the caller
  // to abort.
  bool build(const std::string& canvasKey, const Properties& canvas, const Properties& camera,
             const Properties& frame);
  const std::string& getError() const { return _error; }

  // Builds a self-contained record (SDBReader::makeSelfContainedRecord): its "CanvasKey",
  // "Canvas", "Camera" and "FrameContent".
  bool buildRecord(const Properties& record);

  // The frame block with every data file of its drawables written inline, so that it needs
  // nothing beside it (a server sends it to viewers elsewhere). False with the reason when a
  // data file cannot be read.
  static bool inlineFrameData(const Properties& frame, const std::string& baseDirectory, Properties& out,
                              std::string& error);

  // Checks of the scene-wide blocks, for a reader that opens a file.
  static bool checkCanvas(const Properties& canvas, std::string& error);
  static bool checkCamera(const Properties& camera, std::string& error);
  // The values of a drawable's "type" entry.
  static const std::vector<std::string>& getDrawableTypes();

 private:
  RendererNodeStream& _stream;
  std::string _baseDirectory;
  SharedDataFiles* _shared;
  std::string _error;
};

}  // namespace kvg
