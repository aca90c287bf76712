// The collaborative service on loopback, as participants use it: how long a client state takes
// from one participant's updater to another participant's receiving connection (median and p99),
// alone and with 16 participants each sending its client state every frame at 90 Hz through the
// default throttle; and the service's CPU (the stand-in server runs as its own process).
//
//   bench_collab_loopback [clients] [seconds=5]
//
// Without a count it gives the curve: 1, 8, 16, 32 and 63 participants, the last with the
// observer filling a scene to the service's bound of 64.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vtkNew.h>
#include <vtkUnsignedCharArray.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../net/LatencyReport.h"
#include "CVRStateListener.h"
#include "CVRStateUpdater.h"
#include "ServerConnection.h"
#include "VRClientState.h"
#include "zeltvtk/Service.h"
#include "zeltvtk/SocketCommunicator.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int64_t nowNs() { return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count(); }

// quonix-server in a process of its own, so its CPU can be read from /proc.
struct ServerChild {
  pid_t pid = -1;
  int port = -1;
  bool start(const std::string& binary) {
    int out[2];
    if (::pipe(out) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> args = {binary, "--port", "0", "--scene", "Bench:2"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid, binary.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) return false;
    std::string text;
    char c;
    while (text.find('\n') == std::string::npos && ::read(out[0], &c, 1) == 1) text += c;
    ::close(out[0]);
    const size_t colon = text.rfind(':');
    if (text.rfind("listening on", 0) != 0 || colon == std::string::npos) return false;
    port = std::atoi(text.c_str() + colon + 1);
    return port > 0;
  }
  // User + system CPU seconds so far.
  double cpuSeconds() const {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string f;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> f; ++i) {
      if (i == 14) utime = std::stoull(f);
      if (i == 15) stime = std::stoull(f);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
  }
  ~ServerChild() {
    if (pid > 0) {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
    }
  }
};

// A participant that sends client states through an updater; state seq carries its number in
// Model[0] (exact in single precision up to 2^24).
struct Sender {
  CVRStateUpdater updater;
  CVRStateListener listener;  // the session keeps one; it reads what the others send
};

// The observer's receiving connection, read directly so each arrival is timed at once.
struct Observer {
  vtkSmartPointer<zeltvtk::SocketCommunicator> communicator = vtkSmartPointer<zeltvtk::SocketCommunicator>::New();
  std::thread thread;
  std::atomic<bool> stop{false};
  std::vector<double> latenciesMs;
  const std::vector<std::atomic<int64_t>>* sendTimes = nullptr;
  int fromTS = -1;

  void run() {
    vtkNew<vtkUnsignedCharArray> array;
    while (!stop && communicator->Receive(array, 1, 0)) {
      const int64_t arrived = nowNs();
      const char* name = array->GetName();
      if ((name && *name) || array->GetNumberOfTuples() == 0 || array->GetValue(0) == 0) continue;
      kvg::VRClientState s;
      if (!kvg::VRClientState::fromBytes(array->GetPointer(0), size_t(array->GetNumberOfTuples()), s)) continue;
      if (s.getID() != fromTS) continue;
      const size_t seq = size_t(s.getModel()[0]);
      if (seq < sendTimes->size() && (*sendTimes)[seq] > 0) latenciesMs.push_back(double(arrived - (*sendTimes)[seq]) / 1e6);
    }
  }
};

bool connectPair(ServerConnection& connection, int64_t value, Sender& s) {
  s.updater.setSceneKey("SceneCanvas_1");
  return s.updater.connect(connection, value) && s.listener.connect(connection, value) && s.updater.start() &&
         s.listener.start();
}

// Runs `clients` participants for `seconds`, participant 0 also timed by the observer.
void runScenario(int port, int clients, double seconds, double frameHz, ServerChild& server, const char* label) {
  ServerConnection connection;
  Properties reply;
  if (!connection.createCommandSocket("127.0.0.1", port, reply) ||
      !connection.sendCommand("StartCollaborativeVRServer", Properties(), reply)) {
    std::fprintf(stderr, "cannot reach the server\n");
    return;
  }
  std::vector<std::unique_ptr<Sender>> senders;
  for (int i = 0; i < clients; ++i) {
    senders.push_back(std::make_unique<Sender>());
    if (!connectPair(connection, 1000 + i, *senders.back())) {
      std::fprintf(stderr, "participant %d could not connect: %s\n", i, senders.back()->updater.getLastError().c_str());
      return;
    }
  }
  // The observer: a participant of its own whose receiving connection is timed.
  Sender observerSender;
  observerSender.updater.setSceneKey("SceneCanvas_1");
  observerSender.updater.connect(connection, 999);
  Observer observer;
  auto socket = zeltvtk::connectToService(999, "127.0.0.1", port, "CollaborativeVRServer", 5000);
  observer.communicator->SetSocket(socket);
  if (!socket || observer.communicator->ServerSideHandshake() != 1) {
    std::fprintf(stderr, "observer could not connect\n");
    return;
  }
  const size_t maxSeq = size_t(seconds * frameHz * 2 + 100);
  std::vector<std::atomic<int64_t>> sendTimes(maxSeq);
  observer.sendTimes = &sendTimes;
  observer.fromTS = int(senders[0]->updater.getConnectionIds().second);
  observer.thread = std::thread([&] { observer.run(); });

  // One "render thread" per participant, queuing its client state every frame.
  std::atomic<bool> running{true};
  std::vector<std::thread> frames;
  for (int i = 0; i < clients; ++i) {
    frames.emplace_back([&, i] {
      const auto period = std::chrono::nanoseconds(int64_t(1e9 / frameHz));
      auto next = Clock::now();
      size_t seq = 1;
      while (running) {
        auto s = std::make_unique<kvg::VRClientState>();
        double model[16] = {double(seq), 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        s->setModel(model);
        if (i == 0 && seq < sendTimes.size()) sendTimes[seq] = nowNs();
        senders[i]->updater.queueState(std::move(s));
        ++seq;
        next += period;
        std::this_thread::sleep_until(next);
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // settle
  const double cpu0 = server.cpuSeconds();
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
  const double cpu = server.cpuSeconds() - cpu0;
  running = false;
  for (auto& t : frames) t.join();
  int sent = 0;
  for (auto& s : senders) sent += s->updater.getSentCount();
  observer.stop = true;
  observer.communicator->GetSocket()->Shutdown(zeltvtk::Socket::SHUTDOWN_BOTH);
  observer.thread.join();
  char what[128];
  std::snprintf(what, sizeof what, "%s: state from one to another", label);
  reportLatency(what, observer.latenciesMs, "ms");
  std::printf("%-44s %.1f%% of one core (%.2f s CPU in %.2f s); %d states sent by %d participants\n",
              (std::string(label) + ": service CPU").c_str(), 100.0 * cpu / wall, cpu, wall, sent, clients);
  senders.clear();
}

}  // namespace

int main(int argc, char** argv) {
  // The observer is a participant too: a scene holds at most 64.
  const int clients = argc > 1 ? std::min(63, std::max(2, std::atoi(argv[1]))) : 0;
  const double seconds = argc > 2 ? std::max(1.0, std::atof(argv[2])) : 5.0;
  const char* binDir = std::getenv("QUONIX_BIN_DIR");
  std::string dir = binDir ? binDir : std::string(argv[0]).substr(0, std::string(argv[0]).rfind('/')) + "/../bin";
  ServerChild server;
  if (!server.start(dir + "/quonix-server")) {
    std::fprintf(stderr, "cannot start %s/quonix-server (set QUONIX_BIN_DIR)\n", dir.c_str());
    return 1;
  }
  std::printf("collaborative service on loopback, frames at 90 Hz, throttle %s s\n", "0.01 (default)");
  runScenario(server.port, 1, seconds, 90, server, "1 participant + observer");
  for (int count : clients ? std::vector<int>{clients} : std::vector<int>{8, 16, 32, 63})
    runScenario(server.port, count, seconds, 90, server, (std::to_string(count) + " participants + observer").c_str());
  return 0;
}
