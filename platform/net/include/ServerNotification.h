#pragma once
// One message that the simulation server pushed on a notification socket, or the local note that
// the socket ended.
//
// What the server pushes after "ViewObject.openView" on a connection with a notification socket:
//   SCENE_DOWNLOAD  once, right away: the scene as it stands
//   SCENE_UPDATE    each time the scene changes (a live simulation advancing a frame)
// Both carry the keys below. "Position" counts the scene's updates on the server, so the same value
// means the same update on every connection that views the scene: two drawable sessions that
// apply their notifications as update tasks at these positions stay in step.
#include <cstdint>
#include <string>

#include "Properties.h"

struct ServerNotification {
  static const char* const SCENE_DOWNLOAD;   // "SceneGraphExportImport.sceneDownload"
  static const char* const SCENE_UPDATE;     // "SceneGraphExportImport.sceneUpdate"
  static const char* const CONNECTION_LOST;  // local: the socket ended; "ErrorMessage" says why

  // Keys of SCENE_DOWNLOAD and SCENE_UPDATE.
  static const char* const KEY_SCENE_KEY;    // "SceneKey": string, the scene's key
  static const char* const KEY_SCENE_NAME;   // "SceneName": string
  static const char* const KEY_POSITION;     // "Position": integer, the scene's update count
  static const char* const KEY_FRAME;        // "Frame": integer, index of the frame shown
  static const char* const KEY_FRAME_COUNT;  // "FrameCount": integer
  static const char* const KEY_RECORD;       // "Record": nested set, the frame's scene record

  std::string name;
  Properties data;

  // "Position" of the data, or -1 when absent.
  int64_t position() const;
  bool isConnectionLost() const { return name == CONNECTION_LOST; }
};
