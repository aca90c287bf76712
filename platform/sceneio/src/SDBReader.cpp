#include "kvg/SDBReader.h"

#include <sys/stat.h>

#include <fstream>
#include <new>
#include <sstream>

#include "SceneBlock.h"
#include "SceneDataLoader.h"
#include "SceneFileText.h"
#include "SceneFormatHandler.h"
#include "StringHelper.h"
#include "kvg/SceneRecordBuilder.h"

namespace kvg {

SDBReader::SDBReader() : _sharedFiles(new SharedDataFiles) {}

SDBReader::~SDBReader() {
  if (SceneFormatHandler::isUnpackedScene(_path)) SceneFormatHandler::releaseUnpackedScene(_path);
}

int SDBReader::fail(int result, const std::string& message) {
  _error = message;
  _open = false;
  _sets.clear();
  return result;
}

void SDBReader::close() {
  _open = false;
  _sets.clear();
  _canvas.clear();
  _camera.clear();
  _canvasInfo = CanvasInfo();
  _sharedFiles->files.clear();
}

int SDBReader::open(const std::wstring& widePath) {
  if (SceneFormatHandler::isUnpackedScene(_path) && _path != widePath)
    SceneFormatHandler::releaseUnpackedScene(_path);
  close();
  _error.clear();
  _path = widePath;
  const std::string path = StringHelper::toString(widePath);
  size_t slash = path.rfind('/');
  _baseDirectory = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));

  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return fail(CannotRead, "The file does not exist.");
  if (!S_ISREG(st.st_mode)) return fail(CannotRead, "The path is not a file.");
  if (uint64_t(st.st_size) > MaxSceneFileBytes)
    return fail(CannotRead, "The scene file is larger than " + std::to_string(MaxSceneFileBytes >> 20) +
                                " MiB; keep large data in data files beside it.");
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (!in && !in.eof()) return fail(CannotRead, "The file cannot be read.");
  std::string text = buffer.str();
  SceneFileText::stripByteOrderMark(text);

  std::string reason;
  const bool looksLikeScene = SceneFileText::looksLikeScene(text.substr(0, SceneFileText::headLength(text)), reason);
  Properties doc;
  std::string parseError;
  if (!Properties::fromText(text, doc, &parseError, true)) {
    if (SceneFileText::declaresBeingWritten(text))
      return fail(BeingWritten, "The scene file is being written.");
    if (!looksLikeScene) return fail(NotAScene, reason);
    return fail(InvalidScene, "Syntax error at " + parseError);
  }
  if (doc.getString("format") != SceneFileText::FormatName)
    return fail(NotAScene, looksLikeScene ? "'format' must be quonix-scene." : reason);
  SceneBlock top(doc, "");
  int version = 0;
  if (!top.getInt("version", version, true)) return fail(InvalidScene, top.error());
  if (version > FormatVersion || version < 1)
    return fail(UnsupportedVersion, "The scene file has format version " + std::to_string(version) +
                                        "; this program reads version " + std::to_string(FormatVersion) + ".");
  std::string status = "complete";
  if (!top.getString("status", status)) return fail(InvalidScene, top.error());
  if (status == "being written") return fail(BeingWritten, "The scene file is being written.");
  if (status != "complete") return fail(InvalidScene, "'status' must be complete or \"being written\".");
  Properties frameSets;
  if (!top.only({"format", "version", "status", "canvas", "camera", "frameSets"}) ||
      !top.getBlock("canvas", _canvas) || !top.getBlock("camera", _camera) || !top.getBlock("frameSets", frameSets))
    return fail(InvalidScene, top.error());

  std::string error;
  if (!SceneRecordBuilder::checkCanvas(_canvas, error) || !SceneRecordBuilder::checkCamera(_camera, error))
    return fail(InvalidScene, error);
  _canvasInfo.title = _canvas.getString("title");
  if (_canvas.hasName("key")) {
    std::map<std::string, int> counters;
    const std::string key = _canvas.getString("key");
    if (!NodeRegistry::claimKey(key, "SceneCanvas", counters))
      return fail(InvalidScene, "canvas: 'key' must be SceneCanvas_ followed by a number.");
    _canvasInfo.key = key;
    _canvasInfo.index = counters["SceneCanvas"] - 1;
  }
  if (!readFrameSets(frameSets)) return fail(InvalidScene, _error);
  _open = true;
  return Opened;
}

bool SDBReader::readFrameSets(const Properties& frameSets) {
  for (const std::string& setName : frameSets.names()) {
    const std::string where = "frame set '" + setName + "'";
    if (frameSets.typeOf(setName) != Properties::Type::Nested) {
      _error = where + " must be a block";
      return false;
    }
    const Properties setBlock = frameSets.getProperties(setName);
    SceneBlock s(setBlock, where);
    FrameSet set;
    set.title = setName;
    Properties frames;
    if (!s.only({"title", "frames"}) || !s.getString("title", set.title) || !s.getBlock("frames", frames)) {
      _error = s.error();
      return false;
    }
    for (const std::string& frameName : frames.names()) {
      const std::string frameWhere = where + ", frame '" + frameName + "'";
      if (frames.typeOf(frameName) != Properties::Type::Nested) {
        _error = frameWhere + " must be a block";
        return false;
      }
      Frame frame;
      frame.name = frameName;
      frame.content = frames.getProperties(frameName);
      SceneBlock f(frame.content, frameWhere);
      Properties camera, drawables;
      if (!f.only({"description", "time", "camera", "drawables"}) ||
          !f.getString("description", frame.description) || !f.getReal("time", frame.time) ||
          !f.getBlock("camera", camera) || !f.getBlock("drawables", drawables)) {
        _error = f.error();
        return false;
      }
      std::string error;
      if (!SceneRecordBuilder::checkCamera(camera, error)) {
        _error = frameWhere + ": " + error;
        return false;
      }
      frame.hasDescription = frame.content.hasName("description");
      frame.hasTime = frame.content.hasName("time");
      set.frames.push_back(std::move(frame));
    }
    _sets.push_back(std::move(set));
  }
  return true;
}

int SDBReader::getFrameCount(int frameset) const {
  return frameset >= 0 && frameset < int(_sets.size()) ? int(_sets[size_t(frameset)].frames.size()) : 0;
}

std::string SDBReader::getFramesetTitle(int frameset) const {
  return frameset >= 0 && frameset < int(_sets.size()) ? _sets[size_t(frameset)].title : std::string();
}

const Properties* SDBReader::getFrameContent(int frameset, int frame) const {
  if (frame < 0 || frame >= getFrameCount(frameset)) return nullptr;
  return &_sets[size_t(frameset)].frames[size_t(frame)].content;
}

bool SDBReader::getFrameRecord(int frameset, int frame, Properties& record) const {
  record.clear();
  if (frame < 0 || frame >= getFrameCount(frameset)) return false;
  const FrameSet& set = _sets[size_t(frameset)];
  const Frame& f = set.frames[size_t(frame)];
  record.set("Title", set.title);
  if (f.hasDescription) record.set("Description", f.description);
  if (f.hasTime) record.set("Time", f.time);
  record.set("FrameSet", frameset);
  record.set("Frame", frame);
  return true;
}

bool SDBReader::makeSelfContainedRecord(int frameset, int frame, Properties& record) {
  if (!getFrameRecord(frameset, frame, record)) {
    _error = "The scene has no frame " + std::to_string(frame) + " in frame set " + std::to_string(frameset) + ".";
    return false;
  }
  Properties inlined;
  std::string error;
  if (!SceneRecordBuilder::inlineFrameData(*getFrameContent(frameset, frame), _baseDirectory, inlined, error)) {
    _error = error;
    record.clear();
    return false;
  }
  record.set("CanvasKey", _canvasInfo.key);
  record.set("Canvas", _canvas);
  record.set("Camera", _camera);
  record.set("FrameContent", inlined);
  return true;
}

bool SDBReader::loadRecord(const Properties& record, RendererNodeStream& stream) {
  auto refuse = [&](const std::string& message) {
    stream.abort();
    _error = message;
    return false;
  };
  if (!_open) return refuse("No scene file is open.");
  int64_t frameset = -1, frame = -1;
  if (!record.tryGetInt("FrameSet", frameset) || !record.tryGetInt("Frame", frame))
    return refuse("The record names no frame of this scene.");
  if (frameset < 0 || frameset >= int64_t(_sets.size()))
    return refuse("The scene has no frame set " + std::to_string(frameset) + ".");
  const FrameSet& set = _sets[size_t(frameset)];
  if (set.frames.empty()) return refuse("The frame set '" + set.title + "' has no frames.");
  if (frame < 0 || frame >= int64_t(set.frames.size()))
    return refuse("The frame set '" + set.title + "' has no frame " + std::to_string(frame) + ".");
  SceneRecordBuilder builder(stream, _baseDirectory, _sharedFiles.get());
  const std::string where = "Frame set '" + set.title + "', frame " + std::to_string(frame) + ": ";
  bool built = false;
  try {
    built = builder.build(_canvasInfo.key, _canvas, _camera, set.frames[size_t(frame)].content);
  } catch (const std::bad_alloc&) {
    // Within the data files' limits, but more than this machine can give now.
    return refuse(where + "there is not enough memory to load it.");
  }
  if (!built)
    return refuse(where + builder.getError() + ".");
  stream.commit();
  _error.clear();
  return true;
}

}  // namespace kvg
