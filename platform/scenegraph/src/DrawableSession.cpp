#include "kvg/DrawableSession.h"

#include <chrono>
#include <exception>

#include "Logger.h"

namespace kvg {

DrawableSession::CallbackForwarder::~CallbackForwarder() = default;

namespace {
struct ExtensionMakers {
  std::mutex mutex;
  std::vector<DrawableSession::ExtensionMaker> makers;  // only appended
};
ExtensionMakers& extensionMakers() {
  static ExtensionMakers makers;
  return makers;
}
}  // namespace

void DrawableSession::addExtensionMaker(ExtensionMaker maker) {
  ExtensionMakers& m = extensionMakers();
  std::lock_guard<std::mutex> guard(m.mutex);
  m.makers.push_back(std::move(maker));
}

// Owner thread.
void DrawableSession::applyExtensionMakers() {
  std::vector<ExtensionMaker> pending;
  {
    ExtensionMakers& m = extensionMakers();
    std::lock_guard<std::mutex> guard(m.mutex);
    if (_makersApplied >= m.makers.size()) return;
    pending.assign(m.makers.begin() + long(_makersApplied), m.makers.end());
    _makersApplied = m.makers.size();
  }
  for (ExtensionMaker& maker : pending) maker(*this);
}

DrawableSessionRegistry& DrawableSession::getSessionRegistry() {
  static DrawableSessionRegistry registry;
  return registry;
}

DrawableSession::DrawableSession(Handle handle, Handle parentHandle)
    : _handle(handle), _parentHandle(parentHandle), _scenes(new DrawableScenes(*this)) {
  getSessionRegistry().registerSession(this);
}

DrawableSession::~DrawableSession() {
  getSessionRegistry().unregisterSession(this);
  stopSession();
  // Services may hold props of the scenes: they go first, told about each scene.
  for (DrawableScene* scene : _scenes->getScenes())
    for (auto& e : _extensions) e.second->sceneRemoved(*scene);
  _extensions.clear();
  _scenes->clear();
  {
    std::lock_guard<std::mutex> guard(_taskMutex);
    _tasks.clear();
  }
  // Nodes held elsewhere outlive the session: they must not point to it.
  for (const NodeRegistry::NodeTable* table : {&_nodes.getNodes(), &_nodes.getRuntimeNodes()})
    for (const auto& entry : *table)
      if (Node* n = entry.second.get()) n->setSession(nullptr);
  _nodes.clear();
}

void DrawableSession::setCallbackForwarder(CallbackForwarder* forwarder) {
  std::lock_guard<std::mutex> guard(_forwarderMutex);
  _forwarder = forwarder;
}

DrawableSession::CallbackForwarder* DrawableSession::getCallbackForwarder() const {
  std::lock_guard<std::mutex> guard(_forwarderMutex);
  return _forwarder;
}

bool DrawableSession::raiseCallback(const std::string& method, const Properties& arguments) {
  CallbackForwarder* forwarder = getCallbackForwarder();
  if (!forwarder) return false;
  Properties callback;
  callback.set("MethodName", method);
  callback.set("Arguments", arguments);
  forwarder->forward(this, callback);
  return true;
}

void DrawableSession::addTask(Task task, int64_t position) {
  {
    std::lock_guard<std::mutex> guard(_taskMutex);
    _tasks.push_back(QueuedTask{std::move(task), position});
  }
  _taskAdded.notify_all();
}

void DrawableSession::addNoOpTask() { addTask(Task(), -1); }

int64_t DrawableSession::run(QueuedTask& task) {
  if (!task.task) return task.position;
  try {
    task.task(*this);
  } catch (const InternalError& e) {
    Logger::getSingleton().error("Drawable session task failed: " + e.toString());
  } catch (const std::exception& e) {
    Logger::getSingleton().error(std::string("Drawable session task failed: ") + e.what());
  }
  return task.position;
}

int64_t DrawableSession::executePendingTasks() {
  std::deque<QueuedTask> batch;
  {
    std::lock_guard<std::mutex> guard(_taskMutex);
    batch.swap(_tasks);
  }
  int64_t last = -1;
  for (QueuedTask& t : batch) {
    int64_t p = run(t);
    if (p != -1) last = p;
  }
  return last;
}

int64_t DrawableSession::executeNextUpdateTask() {
  // A scene still downloading may take longer than one update to arrive.
  const SessionConnection* connection = getConnection();
  const int downloadWait = connection ? connection->getDownloadWait(*this) : 0;
  QueuedTask next;
  {
    std::unique_lock<std::mutex> lock(_taskMutex);
    const int wait = downloadWait > _updateTaskWait ? downloadWait : _updateTaskWait;
    if (!_taskAdded.wait_for(lock, std::chrono::milliseconds(wait), [this] { return !_tasks.empty(); }))
      return -1;
    next = std::move(_tasks.front());
    _tasks.pop_front();
  }
  return run(next);
}

size_t DrawableSession::getPendingTaskCount() const {
  std::lock_guard<std::mutex> guard(_taskMutex);
  return _tasks.size();
}

void DrawableSession::setUpdateTaskWait(int milliseconds) {
  std::lock_guard<std::mutex> guard(_taskMutex);
  _updateTaskWait = milliseconds < 0 ? 0 : milliseconds;
}

int DrawableSession::getUpdateTaskWait() const {
  std::lock_guard<std::mutex> guard(_taskMutex);
  return _updateTaskWait;
}

bool DrawableSession::startSession(SessionConnection& connection) {
  stopSession();
  {
    std::lock_guard<std::mutex> guard(_connectionMutex);
    _connection = &connection;
  }
  if (connection.startSession(*this)) return true;
  connection.stopSession(*this);
  forgetConnection(&connection);
  return false;
}

void DrawableSession::stopSession() {
  SessionConnection* c;
  {
    std::lock_guard<std::mutex> guard(_connectionMutex);
    c = _connection;
    _connection = nullptr;
  }
  if (c) c->stopSession(*this);
}

SessionConnection* DrawableSession::getConnection() const {
  std::lock_guard<std::mutex> guard(_connectionMutex);
  return _connection;
}

void DrawableSession::forgetConnection(SessionConnection* connection) {
  std::lock_guard<std::mutex> guard(_connectionMutex);
  if (_connection == connection) _connection = nullptr;
}

SessionExtension* DrawableSession::getExtension(const std::string& name) const {
  auto it = _extensions.find(name);
  return it == _extensions.end() ? nullptr : it->second.get();
}

void DrawableSession::setExtension(const std::string& name, std::unique_ptr<SessionExtension> extension) {
  if (extension)
    _extensions[name] = std::move(extension);
  else
    _extensions.erase(name);
}

std::vector<SessionExtension*> DrawableSession::getExtensions() const {
  std::vector<SessionExtension*> out;
  for (const auto& e : _extensions) out.push_back(e.second.get());
  return out;
}

}  // namespace kvg
