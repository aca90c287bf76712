#pragma once
// One scene graph with its scenes: the node registry, the drawable scenes that show it, a
// queue of tasks that change it, and the per-session services attached to it.
//
// Threads: the loader streams nodes into a session, the updater runs its tasks and updates
// its scenes, the render thread draws them; the program hands a session from one to the next,
// so at any moment one thread owns it. The task queue and the session registry are the
// exceptions: any thread may queue tasks and look sessions up.
//
// Tasks carry a position: an update number chosen by whoever queues it (the server
// connection), the same for the same update in every session. executeNextUpdateTask and
// executePendingTasks return the position of the last task they ran, or -1 when they ran none
// or only tasks without a position (no-op tasks).
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "Properties.h"
#include "kvg/DrawableScenes.h"
#include "kvg/DrawableSessionRegistry.h"
#include "kvg/NodeRegistry.h"
#include "kvg/RenderingAttributes.h"
#include "kvg/SessionConnection.h"
#include "kvg/SessionExtension.h"

namespace kvg {

class DrawableSession {
 public:
  // Receives the callbacks the session raises for the simulation server, each a property set
  // {"MethodName": string, "Arguments": nested set}. Called on the thread that raised it.
  class CallbackForwarder {
   public:
    virtual void forward(DrawableSession* session, const Properties& callback) = 0;
    virtual ~CallbackForwarder();
  };

  using Task = std::function<void(DrawableSession&)>;

  // handle: the session's key in the session registry; parentHandle: the session it was
  // derived from, -1 for none. The session enters itself in the registry.
  DrawableSession(Handle handle, Handle parentHandle);
  // Leaves the registry first, then stops its connection, drops its services, scenes, tasks
  // and nodes in this order.
  ~DrawableSession();
  DrawableSession(const DrawableSession&) = delete;
  DrawableSession& operator=(const DrawableSession&) = delete;

  static DrawableSessionRegistry& getSessionRegistry();

  Handle getHandle() const { return _handle; }
  Handle getParentHandle() const { return _parentHandle; }

  NodeRegistry& getNodeRegistry() { return _nodes; }
  const NodeRegistry& getNodeRegistry() const { return _nodes; }
  DrawableScenes& getDrawableScenes() { return *_scenes; }
  RenderingAttributes& getRenderingAttributes() { return _renderingAttributes; }

  // Not owned; null drops callbacks.
  void setCallbackForwarder(CallbackForwarder* forwarder);
  CallbackForwarder* getCallbackForwarder() const;
  // Hands {"MethodName": method, "Arguments": arguments} to the forwarder; false without one.
  bool raiseCallback(const std::string& method, const Properties& arguments);

  // Task queue (any thread).
  void addTask(Task task, int64_t position = -1);
  // A task that does nothing; wakes a waiting executeNextUpdateTask.
  void addNoOpTask();
  // Runs the tasks queued at the time of the call (not those they queue); owner thread.
  int64_t executePendingTasks();
  // Runs the next task, waiting up to the update-task wait for one to arrive; -1 when none
  // came (owner thread).
  int64_t executeNextUpdateTask();
  size_t getPendingTaskCount() const;
  // How long executeNextUpdateTask waits, in milliseconds (100 by default).
  void setUpdateTaskWait(int milliseconds);
  int getUpdateTaskWait() const;

  // Starts the session on a connection (a server connection); a previous one is stopped.
  bool startSession(SessionConnection& connection);
  void stopSession();
  SessionConnection* getConnection() const;
  // Any thread: a connection that goes away before the session calls this (after it has
  // stopped delivering), so the session never calls it again. Other connections are kept.
  void forgetConnection(SessionConnection* connection);

  // Services by name; the session owns them. Setting null removes one.
  SessionExtension* getExtension(const std::string& name) const;
  void setExtension(const std::string& name, std::unique_ptr<SessionExtension> extension);
  template <class T>
  T& getOrCreateExtension(const std::string& name) {
    if (T* t = dynamic_cast<T*>(getExtension(name))) return *t;
    auto created = std::make_unique<T>(*this);
    T& ref = *created;
    setExtension(name, std::move(created));
    return ref;
  }
  // Extensions in name order.
  std::vector<SessionExtension*> getExtensions() const;

  // Any thread: a maker of an extension that every session gets (a library loaded at run time
  // adds its services this way). A session takes the makers it has not taken yet in
  // applyExtensionMakers, which DrawableScene::update and RendererNodeStream::commit call on the
  // session's owning thread.
  using ExtensionMaker = std::function<void(DrawableSession&)>;
  static void addExtensionMaker(ExtensionMaker maker);
  // Owner thread.
  void applyExtensionMakers();

 private:
  struct QueuedTask {
    Task task;
    int64_t position;
  };
  int64_t run(QueuedTask& task);

  const Handle _handle;
  const Handle _parentHandle;
  NodeRegistry _nodes;
  std::unique_ptr<DrawableScenes> _scenes;
  RenderingAttributes _renderingAttributes;

  mutable std::mutex _forwarderMutex;
  CallbackForwarder* _forwarder = nullptr;

  mutable std::mutex _taskMutex;  // guards the queue and the wait; any thread
  std::condition_variable _taskAdded;
  std::deque<QueuedTask> _tasks;
  int _updateTaskWait = 100;

  mutable std::mutex _connectionMutex;  // guards _connection only; never held while calling it
  SessionConnection* _connection = nullptr;
  std::map<std::string, std::unique_ptr<SessionExtension>> _extensions;
  size_t _makersApplied = 0;
};

}  // namespace kvg
