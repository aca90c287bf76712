#include "SimulationServer.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <system_error>

#include "Error.h"
#include "ServerNotification.h"
#include "ServerProtocol.h"
#include "zeltvtk/Service.h"

namespace {

const char* const kGetSceneNames = "SceneGraphExportImport.getSceneNames";
const char* const kGetSceneKey = "SceneGraphExportImport.getObjectKeyFromSceneName";
const char* const kOpenView = "ViewObject.openView";
const char* const kCloseView = "ViewObject.closeView";
const char* const kEnableVRMode = "EnableVRMode";
const char* const kStartCollaboration = "StartCollaborativeVRServer";
const char* const kNotifyNode = "NotifyZeltSceneGraphNode";
const char* const kQueueNotifyNode = "QueueNotifyZeltSceneGraphNode";

// Part-widget commands: recorded in the journal and applied to the scene's part model.
const char* const kPartCommands[] = {"HighlightParts",   "DeletePointPart",   "DeletePlaneSection",
                                     "ClonePointPart",   "CloneLinePart",     "ClonePlaneSection",
                                     "ClonePlaneProbePart"};

Properties failure(int code, const std::string& message) {
  Properties reply;
  Error::set(reply, code, message);
  return reply;
}

}  // namespace

struct SimulationServer::Viewer {
  std::mutex mutex;  // guards the fields below
  std::condition_variable changed;
  std::deque<MessageFrame> queue;
  FrameChannel* channel = nullptr;  // null once the viewer's thread is done with it
  bool closed = false;
};

struct SimulationServer::Client {
  int64_t id = 0;
  std::set<std::string> views;  // scene keys opened on this connection
  // Per scene index, the parts this connection highlights ("HighlightParts"). Every frame sent
  // names, per part, the connections that highlight it: each program shows the widget of its
  // own pick, whichever of its connections views the scene.
  std::map<size_t, std::set<std::string>> highlights;
  bool vrMode = false;
  std::shared_ptr<Viewer> viewer;
};

SimulationServer::SimulationServer(const ServerOptions& options, const SceneLibrary& scenes, CommandJournal* journal)
    : _options(options), _scenes(scenes), _journal(journal), _sceneStates(scenes.scenes().size()) {
  for (const FaultPlan::Rule& rule : options.faults) _faults.add(rule);
  _collaboration = std::make_unique<CollaborativeService>(options.timeoutMs, _faults, journal);
  // Connection values use all 64 bits: the start time above, a counter below.
  _idBase = int64_t(std::time(nullptr) & 0x7FFFFFFF) << 32;
  for (size_t i = 0; i < _sceneStates.size(); ++i)
    if (!scenes.scenes()[i].frames.empty()) _sceneStates[i].parts.readRecord(scenes.scenes()[i].frames.front());
}

SimulationServer::~SimulationServer() {
  stop();
  reapWorkers(true);
  if (_liveThread.joinable()) _liveThread.join();
  for (int fd : _wakePipe)
    if (fd >= 0) ::close(fd);
}

bool SimulationServer::start(std::string& error) {
  if (::pipe2(_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  return _listener.listen(_options.host, _options.port, error);
}

void SimulationServer::stop() {
  if (_wakePipe[1] >= 0) {
    char byte = 1;
    ssize_t ignored = ::write(_wakePipe[1], &byte, 1);
    (void)ignored;
  }
}

// Accepting thread.
void SimulationServer::run() {
  if (_options.live) _liveThread = std::thread([this] { advanceScenes(); });
  for (;;) {
    pollfd fds[2] = {{_listener.fd(), POLLIN, 0}, {_wakePipe[0], POLLIN, 0}};
    int n = ::poll(fds, 2, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || (fds[1].revents & POLLIN)) break;
    if (fds[0].revents & POLLIN) {
      Socket client;
      std::string error;
      if (_listener.accept(client, 0, error) == Socket::Result::Ok) {
        reapWorkers(false);
        // A crowd of connections must not exhaust the threads: past the bound a connection is
        // closed at once, with one log line per spell of refusals.
        // The collaborative service's event thread holds its connections without a thread each.
        const size_t open = _workers.size() + _collaboration->connectionCount();
        if (open >= MAX_CONNECTIONS) {
          if (!_connectionsRefused)
            std::fprintf(stderr, "quonix-server: %zu connections open, refusing more\n", open);
          _connectionsRefused = true;
          continue;
        }
        _connectionsRefused = false;
        Worker worker;
        worker.done = std::make_shared<std::atomic<bool>>(false);
        auto done = worker.done;
        try {
          worker.thread = std::thread([this, socket = std::move(client), done]() mutable {
            serveSocket(std::move(socket));
            *done = true;
          });
        } catch (const std::system_error& e) {
          std::fprintf(stderr, "quonix-server: dropped a connection: no thread for it: %s\n", e.what());
          continue;
        }
        _workers.push_back(std::move(worker));
      }
    }
  }
  _stopping = true;
  _collaboration->shutdown();
  _listener.close();
  {
    std::lock_guard<std::mutex> lock(_mutex);
    for (FrameChannel* channel : _channels) channel->shutdown();
    for (auto& entry : _clients) {
      if (Viewer* viewer = entry.second->viewer.get()) {
        std::lock_guard<std::mutex> viewerLock(viewer->mutex);
        viewer->closed = true;
        viewer->changed.notify_all();
      }
    }
  }
  _tick.notify_all();
  if (_liveThread.joinable()) _liveThread.join();
  reapWorkers(true);
}

void SimulationServer::reapWorkers(bool all) {
  for (auto it = _workers.begin(); it != _workers.end();) {
    if (all || *it->done) {
      if (it->thread.joinable()) it->thread.join();
      it = _workers.erase(it);
    } else {
      ++it;
    }
  }
}

void SimulationServer::track(FrameChannel* channel, bool live) {
  std::lock_guard<std::mutex> lock(_mutex);
  if (live) {
    _channels.insert(channel);
    if (_stopping) channel->shutdown();
  } else {
    _channels.erase(channel);
  }
}

void SimulationServer::journal(int64_t id, const std::string& name, const Properties& args) {
  if (_journal) _journal->write(id, name, args);
}

void SimulationServer::dieNow(const std::string& why) {
  std::fprintf(stderr, "quonix-server: fault injection: exiting on %s\n", why.c_str());
  std::fflush(stderr);
  ::_exit(3);
}

// Socket thread.
void SimulationServer::serveSocket(Socket socket) {
  FrameChannel channel(std::move(socket));
  track(&channel, true);
  MessageFrame hello;
  std::string error;
  FrameChannel::Status status = channel.read(hello, _options.timeoutMs, _options.timeoutMs, error);
  if (status == FrameChannel::Status::Ok && hello.type == MessageFrame::Hello) {
    std::string role = hello.body.getString(ServerProtocol::HELLO_ROLE);
    if (role == ServerProtocol::ROLE_COMMAND) {
      serveCommands(channel, hello.body);
    } else if (role == ServerProtocol::ROLE_NOTIFY) {
      serveViewer(channel, hello.body);
    } else if (role == zeltvtk::ROLE_SERVICE) {
      _collaboration->serve(channel, hello.body);
    } else {
      MessageFrame refusal(MessageFrame::Welcome, "Welcome",
                           failure(Error::COMMAND_FAILED, "this server offers no service '" + role + "'"));
      channel.write(refusal, _options.timeoutMs, error);
    }
  } else if (status == FrameChannel::Status::Failed) {
    std::fprintf(stderr, "quonix-server: dropped a connection: %s\n", error.c_str());
  }
  track(&channel, false);
}

// Command socket's thread.
void SimulationServer::serveCommands(FrameChannel& channel, const Properties& hello) {
  auto client = std::make_shared<Client>();
  client->id = _idBase | _nextId++;
  journal(client->id, ":command-socket", hello);
  FaultPlan::Mode mode = _faults.next(":command-socket");
  if (mode == FaultPlan::Mode::Die) dieNow(":command-socket");
  Properties welcome;
  if (mode == FaultPlan::Mode::Refuse) {
    Error::set(welcome, Error::COMMAND_FAILED, "the server accepts no more VR clients");
    send(channel, MessageFrame(MessageFrame::Welcome, "Welcome", welcome), FaultPlan::Mode::None);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _clients[client->id] = client;
  }
  welcome.set(ServerProtocol::HELLO_CONNECTION_ID, client->id);
  bool ok = send(channel, MessageFrame(MessageFrame::Welcome, "Welcome", welcome), mode);
  while (ok && !_stopping) {
    MessageFrame frame;
    std::string error;
    FrameChannel::Status status = channel.read(frame, -1, _options.timeoutMs, error);
    if (status != FrameChannel::Status::Ok) {
      if (status == FrameChannel::Status::Failed && !_stopping)
        std::fprintf(stderr, "quonix-server: connection %lld: %s\n", (long long)client->id, error.c_str());
      break;
    }
    if (frame.type != MessageFrame::Command) {
      std::fprintf(stderr, "quonix-server: connection %lld: unexpected %s\n", (long long)client->id,
                   MessageFrame::typeName(frame.type));
      break;
    }
    handleCommand(*client, channel, frame);
  }
  std::shared_ptr<Viewer> viewer;
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _clients.erase(client->id);
    viewer = client->viewer;
    client->viewer.reset();
  }
  if (viewer) {
    std::lock_guard<std::mutex> lock(viewer->mutex);
    viewer->closed = true;
    if (viewer->channel) viewer->channel->shutdown();
    viewer->changed.notify_all();
  }
  journal(client->id, ":disconnect", Properties());
}

void SimulationServer::handleCommand(Client& client, FrameChannel& channel, const MessageFrame& frame) {
  journal(client.id, frame.name, frame.body);
  FaultPlan::Mode mode = _faults.next(frame.name);
  if (mode == FaultPlan::Mode::Die) dieNow(frame.name);
  Properties reply;
  if (mode == FaultPlan::Mode::Refuse) {
    reply = failure(Error::COMMAND_FAILED, "the server refused " + frame.name);
  } else if (mode != FaultPlan::Mode::Omit && mode != FaultPlan::Mode::Silent) {
    std::lock_guard<std::mutex> lock(_mutex);
    reply = dispatch(client, frame.name, frame.body);
  }
  if (frame.flags & MessageFrame::NoResponse) return;
  send(channel, MessageFrame(MessageFrame::Reply, frame.name, reply, frame.requestId), mode);
}

// Caller holds _mutex.
Properties SimulationServer::dispatch(Client& client, const std::string& command, const Properties& args) {
  Properties reply;
  if (command == kGetSceneNames) {
    reply.set("SceneNames", _scenes.names());
    return reply;
  }
  if (command == kGetSceneKey) {
    if (!args.hasName("SceneName")) return failure(Error::COMMAND_FAILED, "missing argument SceneName");
    std::string name = args.getString("SceneName");
    const ServedScene* scene = _scenes.findByName(name);
    if (!scene) return failure(Error::COMMAND_FAILED, "no scene named '" + name + "' on this server");
    reply.set("SceneKey", scene->key);
    return reply;
  }
  if (command == kOpenView || command == kCloseView) {
    std::string key = args.getString("ViewObject");
    const ServedScene* scene = _scenes.findByKey(key);
    if (!scene) return failure(Error::COMMAND_FAILED, "no view object '" + key + "' on this server");
    if (command == kCloseView) {
      if (client.views.erase(key) == 0)
        return failure(Error::COMMAND_FAILED, "view object '" + key + "' is not open on this connection");
      return reply;
    }
    client.views.insert(key);
    if (client.viewer) {
      size_t index = size_t(scene - _scenes.scenes().data());
      enqueue(*client.viewer, MessageFrame(MessageFrame::Notification, ServerNotification::SCENE_DOWNLOAD,
                                           sceneNotification(index)));
    }
    return reply;
  }
  if (command == kEnableVRMode) {
    client.vrMode = true;
    return reply;
  }
  if (command == kStartCollaboration) {
    // Without the service the start is still acknowledged: a client's later attempt to reach
    // the service is refused, and the scene opens without collaboration.
    if (_options.collaboration) _collaboration->start();
    reply.set("CollaborativeService", _options.collaboration);
    return reply;
  }
  // A node notification that names a part moves it; other notifications are acknowledged.
  if (command == kNotifyNode && args.hasName("Part")) return dispatchPartCommand(client, command, args);
  if (command == kNotifyNode || command == kQueueNotifyNode) return reply;
  for (const char* part : kPartCommands)
    if (command == part) return dispatchPartCommand(client, command, args);
  return failure(Error::UNKNOWN_COMMAND, "unknown command '" + command + "'");
}

// Caller holds _mutex.
Properties SimulationServer::dispatchPartCommand(Client& client, const std::string& command, const Properties& args) {
  if (!args.hasName("Scene")) return failure(Error::COMMAND_FAILED, command + ": missing argument Scene");
  const std::string name = args.getString("Scene");
  const ServedScene* scene = _scenes.findByName(name);
  if (!scene) scene = _scenes.findByKey(name);
  if (!scene) return failure(Error::COMMAND_FAILED, "no scene named '" + name + "' on this server");
  const size_t index = size_t(scene - _scenes.scenes().data());
  PartModel& parts = _sceneStates[index].parts;
  bool changed = false;
  std::string error, created;
  if (command == "HighlightParts") {
    std::set<std::string>& highlighted = client.highlights[index];
    error = parts.highlight(args, highlighted, changed);
    if (error.empty() && !_sceneStates[index].highlightAsked) {
      // From the first highlight asked for on, highlights are the connections' own.
      _sceneStates[index].highlightAsked = true;
      changed = changed || !parts.sceneHighlight().empty();
    }
  } else if (command == "DeletePointPart" || command == "DeletePlaneSection") {
    error = parts.remove(command, args, changed);
    // A later copy may take the deleted part's name: it starts unhighlighted everywhere.
    if (error.empty())
      for (auto& entry : _clients) {
        auto own = entry.second->highlights.find(index);
        if (own != entry.second->highlights.end()) own->second.erase(args.getString("Part"));
      }
  } else if (PartModel::cloneType(command) != 0) {
    error = parts.clone(command, args, created);
    changed = error.empty();
  } else {
    error = parts.move(args, changed);
  }
  if (!error.empty()) return failure(Error::COMMAND_FAILED, command + ": " + error);
  if (changed) publishScene(index);
  Properties reply;
  if (!created.empty()) reply.set("Part", created);
  return reply;
}

// Caller holds _mutex.
void SimulationServer::publishScene(size_t index) {
  const ServedScene& scene = _scenes.scenes()[index];
  ++_sceneStates[index].position;
  for (auto& entry : _clients) {
    Client& client = *entry.second;
    if (client.viewer && client.views.count(scene.key))
      enqueue(*client.viewer, MessageFrame(MessageFrame::Notification, ServerNotification::SCENE_UPDATE,
                                           sceneNotification(index)));
  }
}

// Caller holds _mutex.
Properties SimulationServer::sceneNotification(size_t index) const {
  const ServedScene& scene = _scenes.scenes()[index];
  const SceneState& state = _sceneStates[index];
  std::map<std::string, std::vector<std::string>> highlightedBy;
  for (const auto& entry : _clients) {
    auto own = entry.second->highlights.find(index);
    if (own == entry.second->highlights.end()) continue;
    for (const std::string& part : own->second) highlightedBy[part].push_back(std::to_string(entry.first));
  }
  Properties data;
  data.set(ServerNotification::KEY_SCENE_KEY, scene.key);
  data.set(ServerNotification::KEY_SCENE_NAME, scene.name);
  data.set(ServerNotification::KEY_POSITION, state.position);
  data.set(ServerNotification::KEY_FRAME, int64_t(state.frame));
  data.set(ServerNotification::KEY_FRAME_COUNT, int64_t(scene.frames.size()));
  if (!scene.frames.empty())
    data.set(ServerNotification::KEY_RECORD,
             state.parts.apply(scene.frames[state.frame], &highlightedBy, !state.highlightAsked));
  return data;
}

// Caller holds _mutex.
bool SimulationServer::enqueue(Viewer& viewer, MessageFrame frame) {
  std::lock_guard<std::mutex> lock(viewer.mutex);
  if (viewer.closed) return false;
  if (viewer.queue.size() >= MAX_VIEWER_BACKLOG) {
    // A viewer that does not read would hold the server's memory: drop it.
    viewer.closed = true;
    if (viewer.channel) viewer.channel->shutdown();
    viewer.changed.notify_all();
    return false;
  }
  viewer.queue.push_back(std::move(frame));
  viewer.changed.notify_all();
  return true;
}

// Notification socket's thread: writes the viewer's queue in order until either side ends.
void SimulationServer::serveViewer(FrameChannel& channel, const Properties& hello) {
  const int64_t id = hello.getInt64(ServerProtocol::HELLO_CONNECTION_ID);
  FaultPlan::Mode mode = _faults.next(":notify-socket");
  if (mode == FaultPlan::Mode::Die) dieNow(":notify-socket");
  auto viewer = std::make_shared<Viewer>();
  viewer->channel = &channel;
  std::string refusal;
  std::shared_ptr<Viewer> replaced;
  {
    std::lock_guard<std::mutex> lock(_mutex);
    auto it = _clients.find(id);
    if (it == _clients.end())
      refusal = "no command connection " + std::to_string(id) + " on this server";
    else if (mode == FaultPlan::Mode::Refuse)
      refusal = "the server accepts no notification sockets";
    else {
      replaced = it->second->viewer;
      it->second->viewer = viewer;
    }
  }
  if (replaced) {
    std::lock_guard<std::mutex> lock(replaced->mutex);
    replaced->closed = true;
    if (replaced->channel) replaced->channel->shutdown();
    replaced->changed.notify_all();
  }
  if (!refusal.empty()) {
    send(channel, MessageFrame(MessageFrame::Welcome, "Welcome", failure(Error::COMMAND_FAILED, refusal)),
         FaultPlan::Mode::None);
    return;
  }
  journal(id, ":notify-socket", Properties());
  bool ok = send(channel, MessageFrame(MessageFrame::Welcome, "Welcome", Properties()), mode);
  while (ok && !_stopping) {
    std::deque<MessageFrame> batch;
    {
      std::unique_lock<std::mutex> lock(viewer->mutex);
      viewer->changed.wait_for(lock, std::chrono::milliseconds(200),
                               [&] { return viewer->closed || !viewer->queue.empty(); });
      if (viewer->closed) break;
      batch.swap(viewer->queue);
    }
    for (MessageFrame& frame : batch) {
      FaultPlan::Mode m = _faults.next(frame.name);
      if (m == FaultPlan::Mode::Die) dieNow(frame.name);
      if (m == FaultPlan::Mode::Omit) frame.body.clear();
      if (m == FaultPlan::Mode::Refuse || m == FaultPlan::Mode::Silent) continue;
      if (!send(channel, frame, m)) {
        ok = false;
        break;
      }
    }
    if (ok && batch.empty()) {
      // Idle: notice a client that went away. It sends nothing on this socket after its greeting.
      std::string error;
      if (channel.socket().waitReadable(0, error) != Socket::Result::TimedOut) break;
    }
  }
  std::lock_guard<std::mutex> lock(_mutex);
  auto it = _clients.find(id);
  if (it != _clients.end() && it->second->viewer == viewer) it->second->viewer.reset();
  std::lock_guard<std::mutex> viewerLock(viewer->mutex);
  viewer->closed = true;
  viewer->channel = nullptr;
}

// Live-simulation thread.
void SimulationServer::advanceScenes() {
  std::unique_lock<std::mutex> lock(_mutex);
  const auto interval = std::chrono::milliseconds(_options.frameIntervalMs);
  auto next = std::chrono::steady_clock::now() + interval;
  while (!_stopping) {
    if (_tick.wait_until(lock, next, [this] { return _stopping.load(); })) break;
    next += interval;
    const auto now = std::chrono::steady_clock::now();
    if (next < now) next = now + interval;  // fell behind: do not race to catch up
    for (size_t i = 0; i < _sceneStates.size(); ++i) {
      SceneState& state = _sceneStates[i];
      const ServedScene& scene = _scenes.scenes()[i];
      state.frame = scene.frames.empty() ? 0 : (state.frame + 1) % scene.frames.size();
      publishScene(i);
    }
  }
}

bool SimulationServer::send(FrameChannel& channel, const MessageFrame& frame, FaultPlan::Mode mode) {
  std::string bytes, error;
  const int timeoutMs = _options.timeoutMs;
  switch (mode) {
    case FaultPlan::Mode::Silent:
      return true;
    case FaultPlan::Mode::Stall: {
      const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(_options.stallMs);
      while (!_stopping && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      return !_stopping && send(channel, frame, FaultPlan::Mode::None);
    }
    case FaultPlan::Mode::Garbage:
      bytes = "GARBAGE! this is no message of the protocol\n";
      break;
    case FaultPlan::Mode::Oversized: {
      MessageFrame::Header header;
      header.type = frame.type;
      header.requestId = frame.requestId;
      header.bodyLength = 0xFFFFFFF0u;
      bytes = MessageFrame::encodeHeader(header);
      break;
    }
    case FaultPlan::Mode::BadBody: {
      const std::string body = "this is { not a property set";
      MessageFrame::Header header;
      header.type = frame.type;
      header.requestId = frame.requestId;
      header.nameLength = uint32_t(frame.name.size());
      header.bodyLength = uint32_t(body.size());
      bytes = MessageFrame::encodeHeader(header) + frame.name + body;
      break;
    }
    default:
      if (!frame.encode(bytes, error)) {
        std::fprintf(stderr, "quonix-server: cannot send %s: %s\n", frame.name.c_str(), error.c_str());
        return false;
      }
      if (mode == FaultPlan::Mode::BadVersion) bytes[4] = char(99);
      if (mode == FaultPlan::Mode::Trickle) {
        for (size_t i = 0; i < bytes.size() && !_stopping; ++i) {
          if (channel.writeBytes(bytes.substr(i, 1), timeoutMs, error) != FrameChannel::Status::Ok) return false;
          std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        return true;
      }
      if (mode == FaultPlan::Mode::Truncate) {
        channel.writeBytes(bytes.substr(0, bytes.size() / 2), timeoutMs, error);
        dieNow(frame.name + " (mid-message)");
      }
      break;
  }
  return channel.writeBytes(bytes, timeoutMs, error) == FrameChannel::Status::Ok;
}
