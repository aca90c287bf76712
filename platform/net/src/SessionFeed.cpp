#include "SessionFeed.h"

#include <deque>
#include <mutex>

#include "Error.h"
#include "NotificationQueue.h"
#include "kvg/DrawableSession.h"
#include "kvg/RendererNodeStream.h"
#include "kvg/SceneRecordBuilder.h"

// One update waiting for the session's owner; its record is dropped when a later one supersedes it.
struct SessionFeed::Pending {
  std::mutex mutex;  // guards record and taken
  Properties record;
  bool taken = false;
  bool superseded = false;
};

// What the feed shares with the tasks it queued: they may run after the feed has gone.
struct SessionFeed::Shared {
  mutable std::mutex mutex;  // guards every field
  ErrorHandler handler;
  bool stopped = false;
  bool failed = false;
  bool downloaded = false;
  std::string error;
  int64_t lastPosition = -1;
  std::deque<std::shared_ptr<Pending>> waiting;

  // Reports the first failure only; the feed applies nothing more afterwards.
  void fail(const std::string& reason) {
    std::lock_guard<std::mutex> lock(mutex);
    if (failed || stopped) return;
    failed = true;
    error = reason;
    if (handler) handler(reason);
  }
};

SessionFeed::SessionFeed(kvg::DrawableSession& session, NotificationQueue& queue, ErrorHandler handler)
    : _session(session), _queue(queue), _shared(std::make_shared<Shared>()) {
  _shared->handler = std::move(handler);
}

SessionFeed::~SessionFeed() { stop(); }

void SessionFeed::start() {
  if (_started) return;
  _started = true;
  _queue.setWakeCallback([this] { drain(); });
  drain();  // what arrived before the callback was in place
}

void SessionFeed::stop() {
  if (_started) {
    _queue.setWakeCallback(nullptr);  // a drain under way has finished when this returns
    _started = false;
  }
  std::lock_guard<std::mutex> lock(_shared->mutex);
  _shared->stopped = true;
  _shared->handler = nullptr;
  for (auto& pending : _shared->waiting) {
    std::lock_guard<std::mutex> pendingLock(pending->mutex);
    pending->record.clear();
    pending->superseded = true;
  }
  _shared->waiting.clear();
}

bool SessionFeed::isAwaitingDownload() const {
  std::lock_guard<std::mutex> lock(_shared->mutex);
  return _started && !_shared->stopped && !_shared->failed && !_shared->downloaded;
}

bool SessionFeed::hasFailed() const {
  std::lock_guard<std::mutex> lock(_shared->mutex);
  return _shared->failed;
}

std::string SessionFeed::getError() const {
  std::lock_guard<std::mutex> lock(_shared->mutex);
  return _shared->error;
}

std::string SessionFeed::check(const ServerNotification& n) {
  if (n.isConnectionLost()) return "lost the server's notifications: " + Error::getMessage(n.data);
  if (n.name != ServerNotification::SCENE_DOWNLOAD && n.name != ServerNotification::SCENE_UPDATE)
    return "unexpected notification '" + n.name + "' from the server";
  int64_t position = -1;
  if (!n.data.tryGetInt(ServerNotification::KEY_POSITION, position) || position < 0)
    return "a scene notification from the server has no valid \"Position\"";
  if (n.data.typeOf(ServerNotification::KEY_RECORD) != Properties::Type::Nested)
    return "a scene notification from the server has no \"Record\"";
  const Properties record = n.data.getProperties(ServerNotification::KEY_RECORD);
  if (record.typeOf("CanvasKey") != Properties::Type::String || record.getString("CanvasKey").empty())
    return "the server's scene record has no \"CanvasKey\"";
  if (record.typeOf("FrameContent") != Properties::Type::Nested)
    return "the server's scene record has no \"FrameContent\"";
  const Properties drawables = record.getProperties("FrameContent").getProperties("drawables");
  for (const std::string& name : drawables.names()) {
    const Properties::Type data = drawables.getProperties(name).typeOf("data");
    if (data == Properties::Type::String || data == Properties::Type::StringList)
      return "the server's scene record names data files (drawable '" + name + "'); only inline data is accepted";
  }
  return std::string();
}

// Notification thread (or the caller of start).
void SessionFeed::drain() {
  ServerNotification n;
  while (_queue.tryPop(n)) accept(std::move(n));
}

// Notification thread (or the caller of start).
void SessionFeed::accept(ServerNotification n) {
  const std::string problem = check(n);
  if (!problem.empty()) {
    _shared->fail(problem);
    return;
  }
  const int64_t position = n.position();
  auto pending = std::make_shared<Pending>();
  pending->record = n.data.getProperties(ServerNotification::KEY_RECORD);
  {
    std::lock_guard<std::mutex> lock(_shared->mutex);
    if (_shared->failed || _shared->stopped) return;
    if (position <= _shared->lastPosition) return;  // stale or repeated: the session has a later one
    _shared->lastPosition = position;
    _shared->downloaded = true;
    // Forget the ones already run, then give up the records of the oldest still waiting.
    auto& waiting = _shared->waiting;
    // (Each entry's lock is released before the entry may go with its last reference.)
    auto taken = [](Pending& p) {
      std::lock_guard<std::mutex> pendingLock(p.mutex);
      return p.taken;
    };
    while (!waiting.empty() && taken(*waiting.front())) waiting.pop_front();
    while (waiting.size() >= MAX_PENDING_RECORDS) {
      {
        std::lock_guard<std::mutex> pendingLock(waiting.front()->mutex);
        waiting.front()->record.clear();
        waiting.front()->superseded = true;
      }
      waiting.pop_front();
    }
    waiting.push_back(pending);
  }
  std::shared_ptr<Shared> shared = _shared;
  _session.addTask(
      [pending, shared](kvg::DrawableSession& session) {
        Properties record;
        {
          std::lock_guard<std::mutex> lock(pending->mutex);
          pending->taken = true;
          if (pending->superseded) return;
          record = std::move(pending->record);
          pending->record.clear();
        }
        kvg::RendererNodeStream stream(session, kvg::RendererNodeStream::ReplaceScene);
        kvg::SceneRecordBuilder builder(stream, std::string());
        if (!builder.buildRecord(record)) {
          stream.abort();
          shared->fail("the server's scene cannot be shown: " + builder.getError());
          return;
        }
        stream.commit();
      },
      position);
}
