#include "ServerNotification.h"

const char* const ServerNotification::SCENE_DOWNLOAD = "SceneGraphExportImport.sceneDownload";
const char* const ServerNotification::SCENE_UPDATE = "SceneGraphExportImport.sceneUpdate";
const char* const ServerNotification::CONNECTION_LOST = "ConnectionLost";
const char* const ServerNotification::KEY_SCENE_KEY = "SceneKey";
const char* const ServerNotification::KEY_SCENE_NAME = "SceneName";
const char* const ServerNotification::KEY_POSITION = "Position";
const char* const ServerNotification::KEY_FRAME = "Frame";
const char* const ServerNotification::KEY_FRAME_COUNT = "FrameCount";
const char* const ServerNotification::KEY_RECORD = "Record";

int64_t ServerNotification::position() const {
  int64_t value = -1;
  return data.tryGetInt(KEY_POSITION, value) ? value : -1;
}
