#pragma once
// Reader of scene files (".sce", described in docs/scene-format.md). open() reads and checks
// the file's structure: its status, canvas, camera, frame sets and frames. loadRecord()
// streams one frame into a drawable session, reading its data files then; a frame that fails
// leaves the session untouched.
//
// Threads: open on any thread; afterwards the reader is only read, so loadRecord may run on
// the loader thread while the GUI thread waits. One loadRecord at a time per reader.
#include <memory>
#include <string>
#include <vector>

#include "Properties.h"
#include "kvg/RendererNodeStream.h"

struct SharedDataFiles;

namespace kvg {

class SDBReader {
 public:
  enum OpenResult {
    Opened = 0,
    BeingWritten = 1,        // status = "being written": try again later
    CannotRead = 2,          // missing, not a file, unreadable or too large
    NotAScene = 3,           // not a scene file of this program
    UnsupportedVersion = 4,  // written for a later version of the format
    InvalidScene = 5         // a scene file with a fault; getLastError says where
  };

  // The canvas of the scene: index n and key "SceneCanvas_n" (the scene key), and title.
  struct CanvasInfo {
    int index = 1;
    std::string key = "SceneCanvas_1";
    std::string title;
  };

  static constexpr int FormatVersion = 1;
  static constexpr uint64_t MaxSceneFileBytes = uint64_t(256) << 20;

  SDBReader();
  // Removes the private folder of an unpacked compressed scene it read.
  ~SDBReader();
  SDBReader(const SDBReader&) = delete;
  SDBReader& operator=(const SDBReader&) = delete;

  // One of OpenResult. A reader may be opened again on another file.
  int open(const std::wstring& path);
  void close();
  bool isOpen() const { return _open; }
  const std::wstring& getPath() const { return _path; }
  // Folder of the scene file, where its data files are named from (UTF-8).
  const std::string& getBaseDirectory() const { return _baseDirectory; }
  // The reason of the last failed open or loadRecord.
  const std::string& getLastError() const { return _error; }

  const CanvasInfo& getCanvasInfo() const { return _canvasInfo; }

  int getFramesetCount() const { return int(_sets.size()); }
  // 0 for an index out of range.
  int getFrameCount(int frameset) const;
  // Empty for an index out of range.
  std::string getFramesetTitle(int frameset) const;
  // The frame record RecordsManager hands out: "Title" (the frame set's title), "Description"
  // (when the frame has one), "Time" (when it has one), "FrameSet" and "Frame" (its indices).
  // False for indices out of range.
  bool getFrameRecord(int frameset, int frame, Properties& record) const;
  // The frame's block as written in the file; null for indices out of range.
  const Properties* getFrameContent(int frameset, int frame) const;
  const Properties& getCanvasBlock() const { return _canvas; }
  const Properties& getCameraBlock() const { return _camera; }

  // Everything one frame needs in one record, its data written inline: "CanvasKey", "Canvas",
  // "Camera", "FrameContent" (the frame's block), and the frame record's entries. A server sends it to
  // viewers, which build it with SceneRecordBuilder::buildRecord. False (getLastError) for
  // indices out of range or an unreadable data file.
  bool makeSelfContainedRecord(int frameset, int frame, Properties& record);

  // Streams the frame the record names into the stream and commits it. A data file that an
  // earlier load's nodes still hold, unchanged on disk, is not read again: the new nodes share
  // its arrays (the second drawable session of a frame costs no second read or extraction). False, with the
  // stream aborted and getLastError set, when the reader is not open, the record names no
  // frame of this scene, or the frame or one of its data files has a fault.
  bool loadRecord(const Properties& record, RendererNodeStream& stream);

 private:
  struct Frame {
    std::string name;
    bool hasDescription = false;
    std::string description;
    bool hasTime = false;
    double time = 0.0;
    Properties content;
  };
  struct FrameSet {
    std::string title;
    std::vector<Frame> frames;
  };

  int fail(int result, const std::string& message);
  bool readFrameSets(const Properties& frameSets);

  bool _open = false;
  std::wstring _path;
  std::string _baseDirectory;
  std::string _error;
  CanvasInfo _canvasInfo;
  Properties _canvas;
  Properties _camera;
  std::vector<FrameSet> _sets;
  std::unique_ptr<SharedDataFiles> _sharedFiles;
};

}  // namespace kvg
