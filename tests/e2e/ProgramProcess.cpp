#include "ProgramProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

// Before Xlib, whose macros (None, Bool) would break it.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {
// The folders of a run that passed go when the tests end; a failed run keeps them (eye
// images, the program's output) to look at.
class TempDirCleanup : public ::testing::Environment {
 public:
  std::vector<std::string> dirs;
  void TearDown() override {
    if (!::testing::UnitTest::GetInstance()->Passed()) return;
    std::error_code ignored;
    for (const std::string& dir : dirs) std::filesystem::remove_all(dir, ignored);
  }
};
TempDirCleanup* const tempDirCleanup =
    static_cast<TempDirCleanup*>(::testing::AddGlobalTestEnvironment(new TempDirCleanup));
}  // namespace

std::string makeTempDir() {
  char pattern[] = "/tmp/quonix-program-XXXXXX";
  if (!mkdtemp(pattern)) return "";
  tempDirCleanup->dirs.push_back(pattern);
  return pattern;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

int countLines(const std::string& text, const std::string& line) {
  std::istringstream in(text);
  int count = 0;
  for (std::string l; std::getline(in, l);)
    if (l == line) ++count;
  return count;
}

void makeBaseWithAssets(const std::string& base) {
  const std::string binDir = std::getenv("QUONIX_BIN_DIR") ? std::getenv("QUONIX_BIN_DIR") : "bin";
  shell("mkdir -p '" + base + "' && ln -s \"$(realpath '" + binDir + "/vrassets')\" '" + base + "/vrassets'");
}

std::map<std::string, std::string> headsetEnvironment(const std::string& dir, const std::string& base,
                                                      const std::string& captures, const std::string& frames) {
  return {{"XDG_CONFIG_HOME", dir + "/settings"},
          {"QUONIX_BASE_DIR", base},
          {"QUONIX_VRSIM_SCRIPT", dir + "/vrsim.txt"},
          {"QUONIX_VRSIM_CAPTURE_DIR", captures},
          {"QUONIX_VRSIM_CAPTURE_FRAMES", frames}};
}

std::string shell(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    pclose(pipe);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

std::vector<std::string> threadNames(pid_t pid) {
  std::vector<std::string> out;
  const std::string lines = shell("cat /proc/" + std::to_string(pid) + "/task/*/comm 2>/dev/null");
  size_t start = 0;
  while (start < lines.size()) {
    size_t end = lines.find('\n', start);
    if (end == std::string::npos) end = lines.size();
    out.push_back(lines.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

bool hasThread(pid_t pid, const std::string& name) {
  for (const std::string& n : threadNames(pid))
    if (n == name) return true;
  return false;
}

Program::Program(std::vector<std::string> arguments, std::map<std::string, std::string> environment)
    : _dir(makeTempDir()) {
  const std::string binDir = std::getenv("QUONIX_BIN_DIR") ? std::getenv("QUONIX_BIN_DIR") : "bin";
  std::vector<std::string> argv = {binDir + "/quonixvr"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());

  std::map<std::string, std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const size_t eq = entry.find('=');
    if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  for (const auto& kv : environment) env[kv.first] = kv.second;

  std::vector<std::string> envStrings;
  for (const auto& kv : env) envStrings.push_back(kv.first + "=" + kv.second);
  std::vector<char*> argp, envp;
  for (auto& a : argv) argp.push_back(&a[0]);
  argp.push_back(nullptr);
  for (auto& e : envStrings) envp.push_back(&e[0]);
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, (_dir + "/stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, (_dir + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (posix_spawn(&_pid, argp[0], &actions, nullptr, argp.data(), envp.data()) != 0) _pid = -1;
  posix_spawn_file_actions_destroy(&actions);
}

Program::~Program() {
  if (_pid > 0 && !_finished) {
    kill(_pid, SIGKILL);
    waitpid(_pid, nullptr, 0);
  }
}

bool Program::poll() {
  if (_finished || _pid <= 0) return _finished;
  int status = 0;
  if (waitpid(_pid, &status, WNOHANG) == _pid) {
    _finished = true;
    _exitedNormally = WIFEXITED(status);
    _exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  }
  return _finished;
}

bool Program::wait() {
  // Two minutes: under the thread sanitizer on a loaded machine an orderly end alone may take
  // half a minute (the threads' ends and the sanitizer's own at exit); a hang still fails.
  for (int i = 0; i < 2400 && !poll(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return _finished;
}

void Program::signal(int number) { kill(_pid, number); }

std::string Program::waitForWindow(const std::string& titlePattern) const {
  // Polled rather than xdotool's own --sync: a search whose X connection fails ends at once
  // with nothing, and only a later one can find the window.
  for (int i = 0; i < 300; ++i) {
    const std::vector<std::string> found = windows(titlePattern);
    if (!found.empty()) return found.front();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return "";
}

std::vector<std::string> Program::windows(const std::string& titlePattern) const {
  std::istringstream in(shell("xdotool search --all --onlyvisible --pid " + std::to_string(_pid) + " --name '" +
                              titlePattern + "' 2>/dev/null"));
  std::vector<std::string> ids;
  for (std::string id; std::getline(in, id);)
    if (!id.empty()) ids.push_back(id);
  return ids;
}

void Program::keys(const std::string& window, const std::string& keys) {
  // Separate calls: chained after windowfocus, xdotool would send synthetic events to the
  // window, which Qt ignores.
  focus(window);
  shell("xdotool key --delay 30 " + keys);
}

void Program::type(const std::string& window, const std::string& text) {
  focus(window);
  shell("xdotool type --delay 30 '" + text + "'");
}

void Program::focus(const std::string& window) {
  for (int i = 0; i < 50; ++i) {
    shell("xdotool windowfocus --sync " + window);
    if (shell("xdotool getwindowfocus") == window) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

void Program::settle() { std::this_thread::sleep_for(std::chrono::milliseconds(500)); }

bool Program::waitForWindowGone(const std::string& titlePattern) const {
  for (int i = 0; i < 300; ++i) {
    if (windows(titlePattern).empty()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

// Asks the window to close as a window manager would (WM_DELETE_WINDOW).
bool requestClose(const std::string& windowId) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  XEvent event = {};
  event.xclient.type = ClientMessage;
  event.xclient.window = static_cast<Window>(std::stoul(windowId));
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  const bool sent = XSendEvent(display, event.xclient.window, False, NoEventMask, &event) != 0;
  XFlush(display);
  XCloseDisplay(display);
  return sent;
}

std::string newestLeftEye(const std::string& folder) {
  std::string best;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() > 9 && name.compare(name.size() - 9, 9, "-left.png") == 0 && name > best) best = name;
  }
  return best.empty() ? best : folder + "/" + best;
}

bool waitUntil(const std::function<bool()>& condition, int seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return condition();
}

std::string leftEyeAfterNow(const std::string& folder, Program& program, int captures, int seconds) {
  auto frameOf = [](const std::string& file) {
    const size_t at = file.rfind("frame-");
    return at == std::string::npos ? -1L : std::atol(file.c_str() + at + 6);
  };
  const long now = frameOf(newestLeftEye(folder));
  for (int i = 0; i < seconds * 20; ++i) {
    int later = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
      const std::string name = entry.path().filename().string();
      if (name.size() > 9 && name.compare(name.size() - 9, 9, "-left.png") == 0 && frameOf(name) > now) ++later;
    }
    if (later >= captures) {
      const std::string newest = newestLeftEye(folder);
      return waitForFile(newest, program, seconds) ? newest : "";
    }
    if (program.poll()) return "";
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return "";
}

int countOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

bool waitForFile(const std::string& path, Program& program, int seconds) {
  // Captures are renamed into place once whole; a frame's right eye is written after its left,
  // so waiting for a left eye waits for its frame's right eye too.
  std::vector<std::string> wanted = {path};
  const std::string left = "-left.png";
  if (path.size() > left.size() && path.compare(path.size() - left.size(), left.size(), left) == 0)
    wanted.push_back(path.substr(0, path.size() - left.size()) + "-right.png");
  size_t found = 0;
  for (int i = 0; i < seconds * 20; ++i) {
    while (found < wanted.size() && std::filesystem::exists(wanted[found])) ++found;
    if (found == wanted.size()) return true;
    if (program.poll()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

bool waitForThreadGone(Program& program, const std::string& name, int seconds) {
  for (int i = 0; i < seconds * 20; ++i) {
    if (!hasThread(program.pid(), name)) return !program.poll();
    if (program.poll()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

std::string iconsFilledGate(const std::string& goFile) { return "wait-file \"" + goFile + "\"\n"; }

bool releaseOnceIconsFilled(Program& program, const std::string& firstCapture, const std::string& goFile) {
  if (!waitForFile(firstCapture, program, 120) || !waitForThreadGone(program, "IconPreload", 120)) return false;
  std::ofstream(goFile) << "go\n";
  return true;
}
