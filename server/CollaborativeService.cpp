#include "CollaborativeService.h"

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>

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

using Clock = std::chrono::steady_clock;

// The wake-up counter's place in the event set; connections count from 1.
constexpr uint64_t WAKE_ID = 0;
// What one sending connection may read in one round, so that a flood does not starve the others.
constexpr size_t READ_BUDGET = size_t(256) << 10;
constexpr size_t SCRATCH_SIZE = size_t(64) << 10;
// Frames one write gathers at most (the queue bound keeps a batch below it anyway).
constexpr size_t MAX_IOV = 256;
// What one receiving connection may take in one round.
constexpr size_t WRITE_BUDGET = size_t(256) << 10;
// How often stalled frames and blocked writes are looked for.
constexpr auto STALL_CHECK = std::chrono::milliseconds(20);

}  // namespace

CollaborativeService::CollaborativeService(int timeoutMs, FaultPlan& faults, CommandJournal* journal)
    : _timeoutMs(timeoutMs), _faults(faults), _journal(journal) {}

CollaborativeService::~CollaborativeService() {
  shutdown();
  for (auto& entry : _connections) ::close(entry.second->fd);
  if (_epoll >= 0) ::close(_epoll);
  if (_wake >= 0) ::close(_wake);
}

void CollaborativeService::start() { _started = true; }

// Accepting thread (or the destructor).
void CollaborativeService::shutdown() {
  _stopping = true;
  std::thread events;
  {
    std::lock_guard<std::mutex> lock(_mutex);
    events = std::move(_events);
    if (events.joinable()) wakeEvents();
  }
  if (events.joinable()) events.join();
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
  for (const auto& scene : _scenes) {
    s.set("Stamp:" + scene.first, int64_t(scene.second.stamp));
    s.set("Members:" + scene.first, int64_t(scene.second.members.size()));
  }
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
      if (q.value == value && q.hasSender() && !q.hasReceiver()) awaited = true;
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
      if (q.value == value && !q.departed && q.hasSender() && !q.hasReceiver()) {
        p = entry.second;
        receiving = true;
        break;
      }
    }
    if (receiving) {
      p->receiver = &channel;
      if (p->joined) greet(*p);
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
  // From here on the event thread serves the connection.
  if (ok && handOver(channel, p, receiving)) return;
  std::lock_guard<std::mutex> lock(_mutex);
  depart(*p, ok ? "connection lost" : "ids not delivered");
  if (receiving)
    p->receiver = nullptr;
  else
    p->sender = nullptr;
  release(p);
}

// Socket thread.
bool CollaborativeService::handOver(FrameChannel& channel, const std::shared_ptr<Participant>& p, bool receiving) {
  // The socket thread closes its own descriptor when it returns; the event thread keeps a copy.
  const int fd = ::fcntl(channel.socket().fd(), F_DUPFD_CLOEXEC, 0);
  std::lock_guard<std::mutex> lock(_mutex);
  auto fail = [&](const char* what) {
    if (what) std::fprintf(stderr, "quonix-server: collaborative participant %u dropped: %s: %s\n", p->ts, what,
                           std::strerror(errno));
    if (fd >= 0) ::close(fd);
    return false;
  };
  if (fd < 0) return fail("cannot keep its connection");
  if (p->departed || _stopping) return fail(nullptr);
  if (_epoll < 0) _epoll = ::epoll_create1(EPOLL_CLOEXEC);
  if (_wake < 0) {
    _wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = WAKE_ID;
    if (_epoll >= 0 && _wake >= 0) ::epoll_ctl(_epoll, EPOLL_CTL_ADD, _wake, &ev);
  }
  if (_epoll < 0 || _wake < 0) return fail("no event set");
  if (!_events.joinable()) {
    try {
      _events = std::thread([this] { runEvents(); });
    } catch (const std::system_error& e) {
      std::fprintf(stderr, "quonix-server: collaborative participant %u dropped: no event thread: %s\n", p->ts,
                   e.what());
      return fail(nullptr);
    }
    _eventsId = _events.get_id();
  }
  auto c = std::make_unique<Connection>();
  c->fd = fd;
  c->id = _nextConnection++;
  c->receiving = receiving;
  c->participant = p;
  epoll_event ev{};
  // A receiving connection is watched for the participant going away; it sends nothing on it.
  ev.events = receiving ? EPOLLIN | EPOLLRDHUP : EPOLLIN;
  ev.data.u64 = c->id;
  if (::epoll_ctl(_epoll, EPOLL_CTL_ADD, fd, &ev) != 0) return fail("cannot watch its connection");
  if (receiving) {
    p->receiver = nullptr;
    p->receiverLink = c.get();
    if (!p->queue.empty() && !p->pending) {
      p->pending = true;
      _pending.push_back(p->ts);
    }
  } else {
    p->sender = nullptr;
    p->senderLink = c.get();
  }
  _connections[c->id] = std::move(c);
  ++_connectionCount;
  wakeEvents();
  return true;
}

// Event thread: waits on every connection at once, reads what senders sent, relays it, and
// writes each receiver's queue when its spell is over.
void CollaborativeService::runEvents() {
  std::unique_lock<std::mutex> lock(_mutex);
  _scratch.resize(SCRATCH_SIZE);
  std::vector<epoll_event> events(256);
  Clock::time_point next = Clock::time_point::max();
  Clock::time_point nextStallCheck = Clock::now() + STALL_CHECK;
  Clock::time_point paced = Clock::time_point::min();
  while (!_stopping) {
    if (paced != Clock::time_point::min()) {
      // The last round wrote: what arrives within the next spell is read and relayed in one round
      // at its end, when the receivers written to are due again. A busy service so wakes once a
      // spell, not once per state; an idle one relays the first state at once.
      lock.unlock();
      std::this_thread::sleep_until(paced + std::chrono::milliseconds(WRITE_GATHER_MS));
      lock.lock();
      if (_stopping) break;
    }
    const Clock::time_point wake = std::min(next, nextStallCheck);
    const auto now = Clock::now();
    // A spell ends at sub-millisecond times: round the wait up, never down, so that writes to
    // one receiver stay at least the spell apart and the thread does not spin.
    int timeoutMs = 0;
    if (wake > now) timeoutMs = int(std::chrono::ceil<std::chrono::milliseconds>(wake - now).count());
    lock.unlock();
    int n = ::epoll_wait(_epoll, events.data(), int(events.size()), timeoutMs);
    lock.lock();
    if (_stopping) break;
    if (n < 0 && errno != EINTR) {
      std::fprintf(stderr, "quonix-server: collaborative service: epoll_wait: %s\n", std::strerror(errno));
      n = 0;
    }
    for (int i = 0; i < n; ++i) {
      const uint64_t id = events[size_t(i)].data.u64;
      if (id == WAKE_ID) {
        uint64_t count;
        ssize_t ignored = ::read(_wake, &count, sizeof count);
        (void)ignored;
        continue;
      }
      auto it = _connections.find(id);
      if (it == _connections.end() || it->second->closing) continue;
      Connection& c = *it->second;
      const uint32_t what = events[size_t(i)].events;
      if (!c.receiving) {
        readSender(c);
      } else if (what & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) {
        depart(*c.participant, "receiving connection closed");
      } else if (what & EPOLLOUT) {
        writeReceiver(c);
      }
    }
    const auto after = Clock::now();
    next = Clock::time_point::max();
    paced = flushDue(after, next) ? after : Clock::time_point::min();
    if (after >= nextStallCheck) {
      checkStalls(after);
      nextStallCheck = after + STALL_CHECK;
    }
    closeConnections();
  }
  // Server stop: everyone the thread serves is ended.
  for (auto& entry : _connections) depart(*entry.second->participant, "connection lost");
  closeConnections();
}

// Event thread, caller holds _mutex.
void CollaborativeService::readSender(Connection& c) {
  Participant& p = *c.participant;
  size_t taken = 0;
  while (taken < READ_BUDGET && !c.closing) {
    const ssize_t n = ::recv(c.fd, _scratch.data(), _scratch.size(), MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n <= 0) {
      // The end between frames is a plain departure; within one, or an error, is worth a line.
      const std::string why = n == 0 ? "connection closed by peer" : std::strerror(errno);
      if (c.inFrame && !_stopping && !p.departed)
        std::fprintf(stderr, "quonix-server: collaborative participant %u: array frame ends early: %s\n", p.ts,
                     why.c_str());
      depart(p, "connection lost");
      return;
    }
    taken += size_t(n);
    // A short read took all there was: the set reports the next bytes, no empty read needed.
    const bool drained = size_t(n) < _scratch.size();
    if (c.in.empty()) {
      // Most reads hold whole frames: they are taken from the receive buffer as they are.
      const size_t used = takeFrames(c, _scratch.data(), size_t(n));
      if (c.closing || p.departed) return;
      c.in.assign(_scratch.data() + used, _scratch.data() + n);
    } else {
      c.in.insert(c.in.end(), _scratch.data(), _scratch.data() + n);
      const size_t used = takeFrames(c, c.in.data(), c.in.size());
      if (c.closing || p.departed) return;
      c.in.erase(c.in.begin(), c.in.begin() + ptrdiff_t(used));
    }
    if (c.in.empty()) {
      c.inFrame = false;
      if (c.in.capacity() > SCRATCH_SIZE) std::vector<unsigned char>().swap(c.in);
    } else {
      // Within a frame: its next bytes are due within the time-out. (The thread may read a big
      // frame over several rounds; only a sender that sends nothing of it is stalled.)
      c.inFrame = true;
      c.frameDue = Clock::now() + std::chrono::milliseconds(_timeoutMs);
    }
    if (drained) break;
  }
}

// Event thread, caller holds _mutex.
size_t CollaborativeService::takeFrames(Connection& c, const unsigned char* data, size_t size) {
  using namespace zeltvtk::ArrayFrame;
  Participant& p = *c.participant;
  size_t used = 0;
  while (size - used >= HEADER_SIZE) {
    uint32_t tag, nameLength, byteCount;
    std::string error;
    if (!decodeHeader(data + used, DEFAULT_MAX_BYTES, tag, nameLength, byteCount, error)) {
      if (!_stopping && !p.departed)
        std::fprintf(stderr, "quonix-server: collaborative participant %u: %s\n", p.ts, error.c_str());
      depart(p, "connection lost");
      return used;
    }
    const size_t total = HEADER_SIZE + size_t(nameLength) + size_t(byteCount);
    if (size - used < total) {
      // The header is checked: room for the whole frame may be taken now.
      if (c.in.capacity() < total) c.in.reserve(total);
      break;
    }
    const unsigned char* name = data + used + HEADER_SIZE;
    c.inFrame = false;
    handleFrame(c, nameLength ? std::string(reinterpret_cast<const char*>(name), nameLength) : std::string(),
                name + nameLength, byteCount);
    used += total;
    if (c.closing || p.departed) return used;
  }
  return used;
}

// Event thread, caller holds _mutex: one whole frame from a sending connection.
void CollaborativeService::handleFrame(Connection& c, const std::string& name, const unsigned char* bytes,
                                       size_t size) {
  Participant& p = *c.participant;
  if (p.departed) return;
  if (!name.empty()) {
    if (name == "close")
      depart(p, "close");
    else if (!p.joined)
      join(p, name);
    return;
  }
  relay(p, bytes, size);
}

// Event thread, caller holds _mutex: writes what is left of the receiver's batch, all frames in
// one call; what the socket does not take waits for it to take more.
void CollaborativeService::writeReceiver(Connection& c) {
  Participant& p = *c.participant;
  size_t budget = WRITE_BUDGET;
  while (c.sent < c.total) {
    if (budget == 0) {
      // The rest in a later round: one receiver's big states do not hold up the others.
      watchOut(c, true);
      return;
    }
    iovec iov[MAX_IOV];
    size_t count = 0, skip = c.sent, room = budget;
    for (const auto& frame : c.outgoing) {
      if (skip >= frame->size()) {
        skip -= frame->size();
        continue;
      }
      iov[count].iov_base = const_cast<char*>(frame->data() + skip);
      iov[count].iov_len = std::min(frame->size() - skip, room);
      room -= iov[count].iov_len;
      skip = 0;
      if (++count == MAX_IOV || room == 0) break;
    }
    msghdr message{};
    message.msg_iov = iov;
    message.msg_iovlen = count;
    const ssize_t n = ::sendmsg(c.fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      c.sent += size_t(n);
      budget -= size_t(n);
      c.lastProgress = Clock::now();
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      watchOut(c, true);
      return;
    }
    dropReceiver(p, n < 0 && errno != EPIPE && errno != ECONNRESET ? std::string("send: ") + std::strerror(errno)
                                                                    : std::string("connection closed by peer"));
    return;
  }
  c.outgoing.clear();
  c.sent = c.total = 0;
  watchOut(c, false);
  if (p.refused && p.queue.empty()) {
    depart(p, "refused");
    return;
  }
  if (!p.queue.empty() && !p.pending) {
    p.pending = true;
    _pending.push_back(p.ts);
  }
}

// Event thread, caller holds _mutex.
void CollaborativeService::watchOut(Connection& c, bool on) {
  if (c.watchingOut == on) return;
  epoll_event ev{};
  ev.events = EPOLLIN | EPOLLRDHUP | (on ? EPOLLOUT : 0u);
  ev.data.u64 = c.id;
  if (::epoll_ctl(_epoll, EPOLL_CTL_MOD, c.fd, &ev) == 0) c.watchingOut = on;
}

// Event thread, caller holds _mutex: every receiver whose spell is over gets its queue in one
// write; the others say when they are due.
bool CollaborativeService::flushDue(Clock::time_point now, Clock::time_point& next) {
  bool wrote = false;
  std::vector<unsigned> listed;
  listed.swap(_pending);
  for (unsigned ts : listed) {
    auto it = _participants.find(ts);
    if (it == _participants.end()) continue;
    Participant& p = *it->second;
    Connection* c = p.receiverLink;
    // A receiver still writing its last batch is listed again once the socket took it.
    if (p.departed || !c || c->closing || p.queue.empty() || !c->outgoing.empty()) {
      p.pending = false;
      continue;
    }
    // Gather what arrives within a short spell into one write: each write wakes the participant,
    // and with many senders one wake-up per state would cost the service most of its time. A
    // state held back on purpose goes out at its time, with what arrived meanwhile.
    Clock::time_point due = p.lastWrite + std::chrono::milliseconds(WRITE_GATHER_MS);
    for (const Outbound& m : p.queue) due = std::max(due, m.due);
    if (now < due) {
      _pending.push_back(ts);
      next = std::min(next, due);
      continue;
    }
    p.pending = false;
    c->outgoing.reserve(p.queue.size());
    for (Outbound& m : p.queue) {
      c->total += m.frame->size();
      c->outgoing.push_back(std::move(m.frame));
    }
    p.queue.clear();
    p.lastWrite = now;
    c->lastProgress = now;
    wrote = true;
    writeReceiver(*c);
  }
  return wrote;
}

// Event thread, caller holds _mutex: a sender stopped within a frame, or a receiver whose socket
// took nothing for the time-out, is ended.
void CollaborativeService::checkStalls(Clock::time_point now) {
  const auto limit = std::chrono::milliseconds(_timeoutMs);
  for (auto& entry : _connections) {
    Connection& c = *entry.second;
    if (c.closing) continue;
    if (c.receiving) {
      if (c.outgoing.empty() || now - c.lastProgress < limit) continue;
      writeReceiver(c);  // what the socket took meanwhile counts
      if (c.closing || c.outgoing.empty() || Clock::now() - c.lastProgress < limit) continue;
      dropReceiver(*c.participant, "send timed out after " + std::to_string(_timeoutMs) + " ms (" +
                                       std::to_string(c.sent) + " of " + std::to_string(c.total) + " bytes sent)");
    } else if (c.inFrame && now >= c.frameDue) {
      readSender(c);  // what arrived meanwhile counts
      if (c.closing || !c.inFrame || Clock::now() < c.frameDue) continue;
      Participant& p = *c.participant;
      if (!_stopping && !p.departed)
        std::fprintf(stderr, "quonix-server: collaborative participant %u: array frame ends early: timed out\n",
                     p.ts);
      depart(p, "connection lost");
    }
  }
}

// Event thread, caller holds _mutex: after a round, no event of it refers to these any more.
void CollaborativeService::closeConnections() {
  std::vector<uint64_t> closing;
  closing.swap(_closing);
  for (uint64_t id : closing) {
    auto it = _connections.find(id);
    if (it == _connections.end()) continue;
    std::unique_ptr<Connection> c = std::move(it->second);
    _connections.erase(it);
    ::epoll_ctl(_epoll, EPOLL_CTL_DEL, c->fd, nullptr);
    ::close(c->fd);
    --_connectionCount;
    std::shared_ptr<Participant> p = c->participant;
    if (c->receiving)
      p->receiverLink = nullptr;
    else
      p->senderLink = nullptr;
    release(p);
  }
}

// Caller holds _mutex.
void CollaborativeService::dropReceiver(Participant& p, const std::string& why) {
  if (!p.departed) {
    ++_droppedReceivers;
    std::fprintf(stderr, "quonix-server: collaborative participant %u dropped: receiver stopped reading: %s\n", p.ts,
                 why.c_str());
  }
  depart(p, "receiver stopped reading: " + why);
}

// Caller holds _mutex.
void CollaborativeService::closeLink(Connection* c) {
  if (!c || c->closing) return;
  c->closing = true;
  ::shutdown(c->fd, SHUT_RDWR);
  _closing.push_back(c->id);
  if (std::this_thread::get_id() != _eventsId) wakeEvents();
}

// Caller holds _mutex.
void CollaborativeService::wakeEvents() {
  if (_wake < 0) return;
  const uint64_t one = 1;
  ssize_t ignored = ::write(_wake, &one, sizeof one);
  (void)ignored;
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
  if (p.hasReceiver()) greet(p);
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
  // The event thread writes it when the receiver's spell is over.
  if (!to.pending && to.receiverLink) {
    to.pending = true;
    _pending.push_back(to.ts);
    if (std::this_thread::get_id() != _eventsId) wakeEvents();
  }
}

// Caller holds _mutex.
void CollaborativeService::depart(Participant& p, const std::string& reason) {
  if (p.departed) return;
  p.departed = true;
  p.queue.clear();
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
  closeLink(p.senderLink);
  closeLink(p.receiverLink);
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
  if (p->departed && !p->hasSender() && !p->hasReceiver()) _participants.erase(p->ts);
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
