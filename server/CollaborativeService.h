#pragma once
// The collaborative VR service of the stand-in server, reached on the server's own port by a
// socket that greets with the role "service" and the service name "CollaborativeVRServer".
// "StartCollaborativeVRServer" starts it; before that (or with --no-collaboration) it refuses.
//
// Each participant keeps two connections, both greeting with the same 64-bit value: the first
// is its sending connection (it gets the ids record "CID"/"TS" and then sends the scene key, its
// states and finally "close"), the second its receiving connection (the service writes to it).
// Rules:
//   - "TS" counts up from 1 and is never reused; "CID" is the lowest colour id 0..15 no other
//     participant holds (with sixteen present, TS mod 16), so ids differ within every scene.
//   - Participants are grouped by scene key. A client state goes to the others of the scene, a
//     shared state to everyone of the scene including its sender; a shared state is accepted only
//     with a stamp newer than the scene's. A state whose ID is not its sender's TS, or that does
//     not decode, is dropped.
//   - A newcomer first receives the scene's current shared state and the others' last client
//     states.
//   - "close", a lost connection on either side, or a receiver that stops reading (a write
//     blocked past the time-out, or more than MAX_QUEUE messages waiting) ends the participant:
//     the others get {Disconnect, TS} and nothing of it after that.
//   - A scene holds at most MAX_SCENE_PARTICIPANTS, the service MAX_PARTICIPANTS: one more gets
//     {Refused = <reason>, TS} on its receiving connection and is ended; a participant whose
//     states keep failing to decode (MAX_MALFORMED) is ended too. Every drop is one log line.
//   - Each receiver's queue keeps only the newest state per sender (and the newest shared state),
//     so a slow reader gets fewer, fresher states and never holds the others up. Writes to one
//     receiver are at least WRITE_GATHER_MS apart; what arrives meanwhile goes in one write.
//   - A sending connection that sends nothing for the time-out within a frame is ended.
//
// Threads: serve runs on the accepted socket's own thread for the greeting, the handshake and the
// ids; then the socket is handed to the service's event thread, which reads every sending
// connection and writes every receiving one (non-blocking, one epoll set), so that a crowd costs
// no thread per connection and no wake-up per state. _mutex guards everything below it; the event
// thread holds it while it handles what one wait returned.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "FaultPlan.h"
#include "FrameChannel.h"
#include "Properties.h"

class CommandJournal;

class CollaborativeService {
 public:
  static constexpr const char* SERVICE_NAME = "CollaborativeVRServer";
  // Room for one state of every other member, the shared state and a burst of departures.
  static constexpr size_t MAX_QUEUE = 128;
  static constexpr size_t MAX_SCENE_PARTICIPANTS = 64;
  static constexpr size_t MAX_PARTICIPANTS = 512;
  static constexpr int MAX_MALFORMED = 16;
  static constexpr unsigned COLOR_COUNT = 16;
  // Shortest spell between two writes to one receiver; what arrives meanwhile goes in one write.
  static constexpr int WRITE_GATHER_MS = 2;

  // faults and journal (may be null) must outlive the service.
  CollaborativeService(int timeoutMs, FaultPlan& faults, CommandJournal* journal);
  ~CollaborativeService();
  CollaborativeService(const CollaborativeService&) = delete;
  CollaborativeService& operator=(const CollaborativeService&) = delete;

  // "StartCollaborativeVRServer": from now on connections are served.
  void start();
  bool isStarted() const { return _started; }
  // Socket thread of a connection whose greeting asked for a service.
  void serve(FrameChannel& channel, const Properties& hello);
  // Accepting thread, at server stop: the event thread ends and closes the sockets it holds.
  void shutdown();
  // Any thread: the connections the event thread holds (they count against the server's bound).
  size_t connectionCount() const { return _connectionCount; }

  // For tests: "Participants" (present), "Joined" (ever), "RelayedClientStates",
  // "RelayedSharedStates", "RefusedStale", "RefusedForeignId", "Malformed", "DroppedReceivers", "Refused",
  // and per scene "Stamp:<key>" and "Members:<key>".
  Properties status() const;

 private:
  struct Outbound {
    enum Kind { ClientState, SharedState, Control } kind;
    unsigned sender;
    std::shared_ptr<const std::string> frame;
    // Not written before this time (the "lag" fault); the default: at once.
    std::chrono::steady_clock::time_point due{};
  };
  // How long the "lag" fault holds an accepted shared state back.
  static constexpr int LAG_MS = 300;
  struct Connection;
  struct Participant {
    int64_t value = 0;
    unsigned ts = 0;
    unsigned cid = 0;
    std::string sceneKey;
    bool joined = false;
    bool greeted = false;
    bool departed = false;
    bool refused = false;              // ended once its refusal is written
    bool pending = false;              // listed in _pending: its queue waits for a write
    int malformed = 0;
    // While a socket thread still serves the connection (greeting, handshake, ids).
    FrameChannel* sender = nullptr;
    FrameChannel* receiver = nullptr;
    // Once the event thread holds it.
    Connection* senderLink = nullptr;
    Connection* receiverLink = nullptr;
    std::deque<Outbound> queue;
    std::chrono::steady_clock::time_point lastWrite{};
    std::shared_ptr<const std::string> lastClientState;
    bool hasSender() const { return sender || senderLink; }
    bool hasReceiver() const { return receiver || receiverLink; }
  };
  // A socket the event thread holds; guarded by _mutex like the participants.
  struct Connection {
    int fd = -1;
    uint64_t id = 0;
    bool receiving = false;
    bool closing = false;              // listed in _closing: shut down, closed after this round
    std::shared_ptr<Participant> participant;
    // Sending connection: bytes of a frame not yet whole, and when more of it is due at the latest.
    std::vector<unsigned char> in;
    bool inFrame = false;
    std::chrono::steady_clock::time_point frameDue{};
    // Receiving connection: a batch the socket has not taken whole yet, from byte `sent` on.
    std::vector<std::shared_ptr<const std::string>> outgoing;
    size_t sent = 0, total = 0;
    bool watchingOut = false;          // the set reports when the socket takes more
    std::chrono::steady_clock::time_point lastProgress{};
  };
  struct Scene {
    unsigned stamp = 0;
    std::shared_ptr<const std::string> sharedState;
    std::set<unsigned> members;
  };

  // Socket thread: hands the connection to the event thread (started on first use). False when
  // the participant has gone meanwhile or no event thread can run.
  bool handOver(FrameChannel& channel, const std::shared_ptr<Participant>& p, bool receiving);
  // Event thread.
  void runEvents();
  // Event thread, caller holds _mutex.
  void readSender(Connection& c);
  // Handles the whole frames at the start of data and returns the bytes they take; the caller
  // looks whether the sender was ended meanwhile.
  size_t takeFrames(Connection& c, const unsigned char* data, size_t size);
  void handleFrame(Connection& c, const std::string& name, const unsigned char* bytes, size_t size);
  void writeReceiver(Connection& c);
  void watchOut(Connection& c, bool on);
  // True when it wrote to any receiver.
  bool flushDue(std::chrono::steady_clock::time_point now, std::chrono::steady_clock::time_point& next);
  void checkStalls(std::chrono::steady_clock::time_point now);
  void closeConnections();
  // A receiver whose socket stopped taking what is written: one line, then it is ended.
  void dropReceiver(Participant& p, const std::string& why);
  // Caller holds _mutex.
  void join(Participant& p, const std::string& key);
  void greet(Participant& p);
  void relay(Participant& p, const unsigned char* bytes, size_t size);
  void push(Participant& to, Outbound message);
  void depart(Participant& p, const std::string& reason);
  // The participant gets the reason on its receiving connection and is ended after that.
  void refuse(Participant& p, const std::string& reason);
  // Shuts the connection down; the event thread closes it after its round.
  void closeLink(Connection* c);
  // Off the event thread: makes it look at the lists again.
  void wakeEvents();
  // The present members of a scene, copied: pushing may end one of them and change the set.
  std::vector<std::shared_ptr<Participant>> membersOf(const Scene& scene, unsigned except) const;
  unsigned freeColor() const;
  void release(const std::shared_ptr<Participant>& p);

  const int _timeoutMs;
  FaultPlan& _faults;
  CommandJournal* _journal;
  std::atomic<bool> _started{false};
  std::atomic<bool> _stopping{false};
  std::atomic<size_t> _connectionCount{0};

  mutable std::mutex _mutex;
  int _epoll = -1, _wake = -1;       // the event thread's set and its wake-up counter
  std::thread _events;
  std::thread::id _eventsId;
  uint64_t _nextConnection = 1;
  std::unordered_map<uint64_t, std::unique_ptr<Connection>> _connections;
  std::vector<unsigned> _pending;    // receivers whose queue waits for a write (by TS)
  std::vector<uint64_t> _closing;    // connections to close after this round
  std::vector<unsigned char> _scratch;  // the event thread's receive buffer
  unsigned _nextTS = 1;
  std::map<unsigned, std::shared_ptr<Participant>> _participants;  // by TS, until both threads left
  std::map<std::string, Scene> _scenes;
  int64_t _joined = 0, _relayedClient = 0, _relayedShared = 0, _refusedStale = 0, _refusedForeign = 0,
          _malformed = 0, _droppedReceivers = 0, _refused = 0;
};
