#pragma once
// Hands the scene-graph callbacks of a drawable session to the simulation server: node
// notifications ("notifyKvgNode") become server commands queued on the view's widget command
// handler, whose thread sends them on server connection 3. Every other callback is dropped.
//
// Threads: forward runs on whichever thread the session raises the callback on; the handler
// pointer is written by the GUI thread while it connects and disconnects (an atomic, so a
// callback sees either the old handler, which the view keeps alive until it has cleared the
// pointer, or the new one).
#include <atomic>

#include "kvg/DrawableSession.h"

class VRWidgetCommandHandler;

namespace kvg {

class VRCallbackForwarder : public DrawableSession::CallbackForwarder {
 public:
  VRCallbackForwarder() = default;

  // Any thread: queues the commands of a node notification (see the class comment).
  void forward(DrawableSession* session, const Properties& callback) override;

  // GUI thread: the handler the commands go to (not owned); null when there is no connection.
  void setHandler(VRWidgetCommandHandler* handler) { _handler = handler; }
  VRWidgetCommandHandler* getHandler() const { return _handler; }

 private:
  std::atomic<VRWidgetCommandHandler*> _handler{nullptr};
};

}  // namespace kvg
