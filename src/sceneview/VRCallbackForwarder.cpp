#include "VRCallbackForwarder.h"

#include <iostream>

#include "Configuration.h"
#include "VRWidgetCommandHandler.h"

namespace kvg {

// Any thread (the one the session raised the callback on).
void VRCallbackForwarder::forward(DrawableSession*, const Properties& callback) {
  VRWidgetCommandHandler* handler = _handler.load();
  if (!handler) {
    std::cerr << "Failed to forward callback: no server connection" << std::endl;
    return;
  }
  if (!callback.hasName("Arguments") || !callback.hasName("MethodName")) return;
  if (callback.getString("MethodName") != "notifyKvgNode") return;
  Properties args = callback.getProperties("Arguments");
  if (GetConfigBool("useAccumulateForServerCallbacks", false)) {
    handler->push(ServerCommand{"QueueNotifyZeltSceneGraphNode", args});
  } else {
    args.set("Accumulate", false, Properties::Append);
  }
  handler->push(ServerCommand{"NotifyZeltSceneGraphNode", args});
}

}  // namespace kvg
