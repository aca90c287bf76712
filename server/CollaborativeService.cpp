#include "CollaborativeService.h"

#include <chrono>
#include <algorithm>
#include <cstdio>
#include <unistd.h>

#include "CommandJournal.h"
#include "Error.h"
#include "ServerProtocol.h"
#include "ClientStateLayout.h"
#include "kvg/VRSharedState.h"
#include "zeltvtk/ArrayFrame.h"
#include "zeltvtk/Service.h"

namespace {

std::shared_ptr<const std::string> frameOf(const std::string& name, const unsigned char* bytes, size_t size) {
  auto frame = std::make_shared<std::string>();
  zeltvtk::ArrayFrame::encode(name, bytes, size, 0, *frame);
  return frame;
}

Properties record(unsigned ts) {
  Properties p;
  p.set("TS", int64_t(ts));
  return p;
}

}  // namespace

CollaborativeService::CollaborativeService(int timeoutMs, FaultPlan& faults, CommandJournal* journal)
    : _timeoutMs(timeoutMs), _faults(faults), _journal(journal) {}

CollaborativeService::~CollaborativeService() = default;

void CollaborativeService::start() { _started = true; }

void CollaborativeService::shutdown() {
  _stopping = true;
  std::lock_guard<std::mutex> lock(_mutex);
  for (auto& entry : _participants) entry.second->changed.notify_all();
}

Properties CollaborativeService::status() const {
  std::lock_guard<std::mutex> lock(_mutex);
  Properties s;
  int64_t present = 0;
  for (const auto& entry : _participants)
    if (!entry.second->departed) ++present;
  s.set("Started", _started.load());
  s.set("Participants", present);
  s.set("Joined", _joined);
  s.set("RelayedClientStates", _relayedClient);
  s.set("RelayedSharedStates", _relayedShared);
  s.set("RefusedStale", _refusedStale);
  s.set("RefusedForeignId", _refusedForeign);
  s.set("Malformed", _malformed);
  s.set("DroppedReceivers", _droppedReceivers);
  s.set("Refused", _refused);
  for (const auto& scene : _scenes) s.set("Stamp:" + scene.first, int64_t(scene.second.stamp));
  return s;
}

// Socket thread.
void CollaborativeService::serve(FrameChannel& channel, const Properties& hello) {
  const int64_t value = hello.getInt64(ServerProtocol::HELLO_CONNECTION_ID);
  std::string error;
  auto refuse = [&](const std::string& why) {
    Properties body;
    Error::set(body, Error::COMMAND_FAILED, why);
    channel.write(MessageFrame(MessageFrame::Welcome, "Welcome", body), _timeoutMs, error);
  };
  const std::string service = hello.getString(zeltvtk::HELLO_SERVICE);
  if (service != SERVICE_NAME) return refuse("this server offers no service '" + service + "'");
  if (!_started) return refuse("the collaborative VR service has not been started");
  FaultPlan::Mode mode = _faults.next(":service-socket");
  if (mode == FaultPlan::Mode::Die) {
    std::fprintf(stderr, "quonix-server: fault injection: exiting on :service-socket\n");
    ::_exit(3);
  }
  if (mode == FaultPlan::Mode::Refuse) return refuse("the collaborative VR service accepts nobody");
  size_t present = 0;
  bool awaited = false;
  {
    // A participant's receiving connection is always taken; a new one only while there is room.
    std::lock_guard<std::mutex> lock(_mutex);
    for (const auto& entry : _participants) {
      const Participant& q = *entry.second;
      if (q.departed) continue;
      ++present;
      if (q.value == value && q.sender && !q.receiver) awaited = true;
    }
    if (!awaited && present >= MAX_PARTICIPANTS) ++_refused;
  }
  if (!awaited && present >= MAX_PARTICIPANTS) {
    std::fprintf(stderr, "quonix-server: collaborative connection %lld refused: %zu participants present\n",
                 (long long)value, present);
    return refuse("the collaborative VR service already holds " + std::to_string(MAX_PARTICIPANTS) + " participants");
  }
  if (mode == FaultPlan::Mode::Silent) {
    // Hold the socket without a word until the peer gives up.
    channel.socket().waitReadable(-1, error);
    return;
  }
  if (channel.write(MessageFrame(MessageFrame::Welcome, "Welcome", Properties()), _timeoutMs, error) !=
      FrameChannel::Status::Ok)
    return;
  if (!zeltvtk::Handshake::initiate(channel.socket(), _timeoutMs, error)) {
    std::fprintf(stderr, "quonix-server: collaborative connection %lld: %s\n", (long long)value, error.c_str());
    return;
  }

  std::shared_ptr<Participant> p;
  bool receiving = false;
  {
    std::lock_guard<std::mutex> lock(_mutex);
    for (auto& entry : _participants) {
      Participant& q = *entry.second;
      if (q.value == value && !q.departed && q.sender && !q.receiver) {
        p = entry.second;
        receiving = true;
        break;
      }
    }
    if (receiving) {
      p->receiver = &channel;
      if (p->joined) greet(*p);
      if (p->refused) p->changed.notify_all();
    } else {
      p = std::make_shared<Participant>();
      p->value = value;
      p->ts = _nextTS++;
      p->cid = freeColor();
      p->sender = &channel;
      _participants[p->ts] = p;
    }
  }

  Properties ids;
  ids.set("CID", int64_t(p->cid));
  ids.set("TS", int64_t(p->ts));
  if (_journal) _journal->write(value, receiving ? ":collab-receiver" : ":collab-ids", ids);
  mode = _faults.next(":collaborative-ids");
  bool ok = true;
  if (mode != FaultPlan::Mode::Silent) {
    std::string frame;
    zeltvtk::ArrayFrame::encode(ids.toText(), nullptr, 0, 0, frame);
    ok = zeltvtk::ArrayFrame::writeFramed(channel.socket(), frame, _timeoutMs, error) ==
         zeltvtk::ArrayFrame::Status::Ok;
  }
  if (ok) {
    if (receiving)
      serveReceiver(channel, p);
    else
      serveSender(channel, p);
  }
  std::lock_guard<std::mutex> lock(_mutex);
  depart(*p, ok ? "connection lost" : "ids not delivered");
  if (receiving)
    p->receiver = nullptr;
  else
    p->sender = nullptr;
  release(p);
}

// Sending connection's thread: the scene key, then states, until "close" or the end.
void CollaborativeService::serveSender(FrameChannel& channel, const std::shared_ptr<Participant>& p) {
  for (;;) {
    zeltvtk::ArrayMessage message;
    std::string error;
    zeltvtk::ArrayFrame::Status status = zeltvtk::ArrayFrame::read(
        channel.socket(), message, -1, _timeoutMs, zeltvtk::ArrayFrame::DEFAULT_MAX_BYTES, error);
    std::lock_guard<std::mutex> lock(_mutex);
    if (status != zeltvtk::ArrayFrame::Status::Ok) {
      if (status == zeltvtk::ArrayFrame::Status::Failed && !_stopping && !p->departed)
        std::fprintf(stderr, "quonix-server: collaborative participant %u: %s\n", p->ts, error.c_str());
      depart(*p, "connection lost");
      return;
    }
    if (p->departed) return;
    if (!message.name.empty()) {
      if (message.name == "close") {
        depart(*p, "close");
        return;
      }
      if (!p->joined) join(*p, message.name);
      continue;
    }
    relay(*p, message.bytes.data(), message.bytes.size());
  }
}

// Receiving connection's thread: writes what is queued for the participant, in order.
void CollaborativeService::serveReceiver(FrameChannel& channel, const std::shared_ptr<Participant>& p) {
  using Clock = std::chrono::steady_clock;
  Clock::time_point lastWrite;
  std::unique_lock<std::mutex> lock(_mutex);
  while (!p->departed && !_stopping) {
    if (p->queue.empty()) {
      p->idle = true;
      p->changed.wait_for(lock, std::chrono::milliseconds(200));
      p->idle = false;
      if (!p->queue.empty() || p->departed || _stopping) continue;
      // Idle: notice a participant that went away. It sends nothing on this connection.
      lock.unlock();
      std::string error;
      const bool gone = channel.socket().waitReadable(0, error) != Socket::Result::TimedOut;
      lock.lock();
      if (gone) {
        depart(*p, "receiving connection closed");
        return;
      }
      continue;
    }
    // Gather what arrives within a short spell into one write: each write wakes the participant,
    // and with many senders one wake-up per state would cost the service most of its time.
    const auto due = lastWrite + std::chrono::milliseconds(WRITE_GATHER_MS);
    if (Clock::now() < due) {
      p->changed.wait_until(lock, due);
      if (p->departed || _stopping) break;
    }
    if (p->queue.empty()) continue;
    // A state held back on purpose goes out at its time, with what arrived meanwhile.
    Clock::time_point held{};
    for (const Outbound& m : p->queue) held = std::max(held, m.due);
    if (Clock::now() < held) {
      p->changed.wait_until(lock, held);
      continue;
    }
    std::deque<Outbound> batch;
    batch.swap(p->queue);
    lastWrite = Clock::now();
    lock.unlock();
    std::string bytes, error;
    for (const Outbound& m : batch) bytes += *m.frame;
    const bool ok = zeltvtk::ArrayFrame::writeFramed(channel.socket(), bytes, _timeoutMs, error) ==
                    zeltvtk::ArrayFrame::Status::Ok;
    lock.lock();
    if (!ok) {
      if (!p->departed) {
        ++_droppedReceivers;
        std::fprintf(stderr, "quonix-server: collaborative participant %u dropped: receiver stopped reading: %s\n",
                     p->ts, error.c_str());
      }
      depart(*p, "receiver stopped reading: " + error);
      return;
    }
    if (p->refused && p->queue.empty()) {
      depart(*p, "refused");
      return;
    }
  }
}

// Caller holds _mutex.
void CollaborativeService::join(Participant& p, const std::string& key) {
  if (p.refused) return;
  const size_t members = _scenes.count(key) ? _scenes[key].members.size() : 0;
  if (members >= MAX_SCENE_PARTICIPANTS)
    return refuse(p, "the scene already holds " + std::to_string(MAX_SCENE_PARTICIPANTS) + " participants");
  p.sceneKey = key;
  p.joined = true;
  _scenes[key].members.insert(p.ts);
  ++_joined;
  Properties args = record(p.ts);
  args.set("CID", int64_t(p.cid));
  args.set("SceneKey", key);
  if (_journal) _journal->write(p.value, ":collab-join", args);
  if (_faults.next(":collab-join") == FaultPlan::Mode::Sever) {
    // What the participants sent stops arriving: each of them finds its connections cut.
    std::fprintf(stderr, "quonix-server: fault injection: the collaborative service's receiving side ends\n");
    for (auto& entry : _participants)
      if (!entry.second->departed) depart(*entry.second, "receiving side ended");
    return;
  }
  if (p.receiver) greet(p);
}

// Caller holds _mutex: the newcomer gets the scene as it stands.
void CollaborativeService::greet(Participant& p) {
  if (p.greeted) return;
  p.greeted = true;
  Scene& scene = _scenes[p.sceneKey];
  if (scene.sharedState) push(p, {Outbound::SharedState, 0, scene.sharedState});
  for (const auto& q : membersOf(scene, p.ts))
    if (q->lastClientState) push(p, {Outbound::ClientState, q->ts, q->lastClientState});
}

// Caller holds _mutex.
void CollaborativeService::relay(Participant& p, const unsigned char* bytes, size_t size) {
  if (!p.joined || size == 0) return;
  Scene& scene = _scenes[p.sceneKey];
  auto malformed = [&] {
    ++_malformed;
    if (++p.malformed < MAX_MALFORMED) return;
    std::fprintf(stderr, "quonix-server: collaborative participant %u dropped: %d states that do not decode\n", p.ts,
                 p.malformed);
    depart(p, "states that do not decode");
  };
  if (bytes[0] == kvg::VRState::SHARED_STATE_TYPE) {
    kvg::VRSharedState state;
    if (!kvg::VRSharedState::fromBytes(bytes, size, state)) return malformed();
    if (state.getID() != int(p.ts)) {
      ++_refusedForeign;
      return;
    }
    if (state.getTimeStamp() <= scene.stamp) {
      ++_refusedStale;
      return;
    }
    scene.stamp = state.getTimeStamp();
    scene.sharedState = frameOf(std::string(), bytes, size);
    ++_relayedShared;
    Outbound out{Outbound::SharedState, p.ts, scene.sharedState};
    if (_faults.next(":collab-shared") == FaultPlan::Mode::Lag)
      out.due = std::chrono::steady_clock::now() + std::chrono::milliseconds(LAG_MS);
    for (const auto& q : membersOf(scene, 0)) push(*q, out);
    return;
  }
  int id = 0;
  if (!ClientStateLayout::readID(bytes, size, id)) return malformed();
  if (id != int(p.ts)) {
    ++_refusedForeign;
    return;
  }
  p.lastClientState = frameOf(std::string(), bytes, size);
  ++_relayedClient;
  for (const auto& q : membersOf(scene, p.ts)) push(*q, {Outbound::ClientState, p.ts, p.lastClientState});
}

// Caller holds _mutex. The newest state per sender (and the newest shared state) replaces an
// older one still waiting; controls are kept in order.
void CollaborativeService::push(Participant& to, Outbound message) {
  if (to.departed) return;
  if (message.kind != Outbound::Control) {
    for (Outbound& waiting : to.queue) {
      if (waiting.kind == message.kind && (message.kind == Outbound::SharedState || waiting.sender == message.sender)) {
        waiting = std::move(message);  // the writer is already due to wake
        return;
      }
    }
  }
  if (to.queue.size() >= MAX_QUEUE) {
    ++_droppedReceivers;
    std::fprintf(stderr, "quonix-server: collaborative participant %u dropped: receiver fell behind\n", to.ts);
    depart(to, "receiver fell behind");
    return;
  }
  to.queue.push_back(std::move(message));
  // Only a writer waiting for work is woken; one gathering a batch wakes by itself.
  if (to.idle) to.changed.notify_one();
}

// Caller holds _mutex.
void CollaborativeService::depart(Participant& p, const std::string& reason) {
  if (p.departed) return;
  p.departed = true;
  p.queue.clear();
  p.changed.notify_all();
  if (p.joined) {
    Scene& scene = _scenes[p.sceneKey];
    scene.members.erase(p.ts);
    Properties disconnect = record(p.ts);
    disconnect.set("Disconnect", true);
    auto frame = frameOf(disconnect.toText(), nullptr, 0);
    for (const auto& member : membersOf(scene, 0)) {
      Participant& q = *member;
      // Nothing of the departed after its "Disconnect".
      for (auto it = q.queue.begin(); it != q.queue.end();)
        it = it->kind == Outbound::ClientState && it->sender == p.ts ? q.queue.erase(it) : it + 1;
      push(q, {Outbound::Control, p.ts, frame});
    }
  }
  if (p.sender) p.sender->shutdown();
  if (p.receiver) p.receiver->shutdown();
  Properties args = record(p.ts);
  args.set("Reason", reason);
  if (_journal) _journal->write(p.value, ":collab-leave", args);
}

// Caller holds _mutex.
void CollaborativeService::refuse(Participant& p, const std::string& reason) {
  ++_refused;
  std::fprintf(stderr, "quonix-server: collaborative participant %u refused: %s\n", p.ts, reason.c_str());
  Properties args = record(p.ts);
  args.set("Reason", reason);
  if (_journal) _journal->write(p.value, ":collab-refused", args);
  Properties refusal = record(p.ts);
  refusal.set("Refused", reason);
  push(p, {Outbound::Control, p.ts, frameOf(refusal.toText(), nullptr, 0)});
  p.refused = true;
  p.changed.notify_all();
}

// Caller holds _mutex.
std::vector<std::shared_ptr<CollaborativeService::Participant>> CollaborativeService::membersOf(const Scene& scene,
                                                                                                 unsigned except) const {
  std::vector<std::shared_ptr<Participant>> out;
  out.reserve(scene.members.size());
  for (unsigned ts : scene.members) {
    auto it = _participants.find(ts);
    if (ts != except && it != _participants.end() && !it->second->departed) out.push_back(it->second);
  }
  return out;
}

// Caller holds _mutex.
void CollaborativeService::release(const std::shared_ptr<Participant>& p) {
  if (p->departed && !p->sender && !p->receiver) _participants.erase(p->ts);
}

// Caller holds _mutex.
unsigned CollaborativeService::freeColor() const {
  bool used[COLOR_COUNT] = {};
  for (const auto& entry : _participants)
    if (!entry.second->departed) used[entry.second->cid % COLOR_COUNT] = true;
  for (unsigned c = 0; c < COLOR_COUNT; ++c)
    if (!used[c]) return c;
  return _nextTS % COLOR_COUNT;
}
