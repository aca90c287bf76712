// The real program, build/bin/quonixvr, as a user runs it: its usage text and exit codes, its
// window under the X display, its configuration message, its ways to end, and the server
// dialog's hosts and port across runs. Keyboard input goes through xdotool.
#include <gtest/gtest.h>

#include <QSettings>
#include <QString>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {
const char* const kTitle = "Mavolin Quonix Virtual Reality";
const char* const kUsage =
    "Usage: 1) quonixvr\n"
    "       2) quonixvr filename.sce\n"
    "       3) quonixvr hostname portnumber\n";

std::string makeTempDir() {
  char pattern[] = "/tmp/quonix-program-XXXXXX";
  return mkdtemp(pattern) ? pattern : "";
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

// Runs a shell command and returns its standard output.
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

// One run of the program with its own settings folder; output goes to files.
class Program {
 public:
  Program(std::vector<std::string> arguments, std::map<std::string, std::string> environment)
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

  ~Program() {
    if (_pid > 0 && !_finished) {
      kill(_pid, SIGKILL);
      waitpid(_pid, nullptr, 0);
    }
  }

  bool started() const { return _pid > 0; }
  pid_t pid() const { return _pid; }

  // Waits for the end (killing the program after a generous limit); true when it ended by itself.
  bool wait() {
    for (int i = 0; i < 600 && !_finished; ++i) {
      int status = 0;
      if (waitpid(_pid, &status, WNOHANG) == _pid) {
        _finished = true;
        _exitedNormally = WIFEXITED(status);
        _exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return _finished;
  }
  void signal(int number) { kill(_pid, number); }

  bool exitedNormally() const { return _exitedNormally; }
  int exitCode() const { return _exitCode; }
  std::string out() const { return readFile(_dir + "/stdout"); }
  std::string err() const { return readFile(_dir + "/stderr"); }

  // The id of the program's visible window with that exact title, empty when none appears.
  std::string waitForWindow(const std::string& titlePattern) const {
    return shell("timeout 30 xdotool search --all --sync --onlyvisible --pid " + std::to_string(_pid) + " --name '" +
                 titlePattern + "' 2>/dev/null | head -n 1");
  }
  // Gives the window the keyboard and types the keys (xdotool key syntax).
  static void keys(const std::string& window, const std::string& keys) {
    // Separate calls: chained after windowfocus, xdotool would send synthetic events to the
    // window, which Qt ignores.
    focus(window);
    shell("xdotool key --delay 30 " + keys);
  }
  static void type(const std::string& window, const std::string& text) {
    focus(window);
    shell("xdotool type --delay 30 '" + text + "'");
  }
  // Gives the window the keyboard and waits until the X server reports it focused.
  static void focus(const std::string& window) {
    for (int i = 0; i < 50; ++i) {
      shell("xdotool windowfocus --sync " + window);
      if (shell("xdotool getwindowfocus") == window) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  // A window that was just mapped takes keys only once Qt Quick has drawn it and set its
  // focus item; there is no event to wait for from outside, so give it a moment.
  static void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(500)); }
  // Waits until the program has no visible window with that title.
  bool waitForWindowGone(const std::string& titlePattern) const {
    for (int i = 0; i < 300; ++i) {
      if (shell("xdotool search --all --onlyvisible --pid " + std::to_string(_pid) + " --name '" + titlePattern +
                "' 2>/dev/null")
              .empty())
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

 private:
  std::string _dir;
  pid_t _pid = -1;
  bool _finished = false;
  bool _exitedNormally = false;
  int _exitCode = -1;
};

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "needs a display (run under xvfb-run)";
    settingsHome = makeTempDir();
  }
  // The program with this test's settings folder and the given extra environment.
  std::map<std::string, std::string> environment(std::map<std::string, std::string> extra = {}) const {
    extra["XDG_CONFIG_HOME"] = settingsHome;
    return extra;
  }
  std::string settingsFile() const {
    return settingsHome + "/Kelmar Software/Mavolin Quonix Virtual Reality.conf";
  }
  std::string settingsHome;
};

const std::string kTitlePattern = std::string("^") + kTitle + "$";
}  // namespace

TEST_F(ProgramTest, UsageTextAndExitCodeOne) {
  const std::vector<std::vector<std::string>> cases = {
      {"--help"}, {"/?"}, {"a", "b", "c"}, {"host", "0"}, {"host", "65536"}, {"host", "x"}, {"--help", "x"},
  };
  for (const auto& arguments : cases) {
    std::string shown;
    for (const auto& a : arguments) shown += "[" + a + "]";
    Program program(arguments, environment());
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(program.wait()) << shown;
    EXPECT_TRUE(program.exitedNormally()) << shown;
    EXPECT_EQ(program.exitCode(), 1) << shown;
    EXPECT_EQ(program.out(), kUsage) << shown;
    EXPECT_EQ(program.err(), "") << shown;
  }
}

TEST_F(ProgramTest, WindowOpensAndTerminationEndsCleanly) {
  const std::vector<std::vector<std::string>> cases = {{}, {"--HELP"}, {"--help", "47827"}};
  for (const auto& arguments : cases) {
    std::string shown;
    for (const auto& a : arguments) shown += "[" + a + "]";
    Program program(arguments, environment());
    ASSERT_TRUE(program.started());
    const std::string window = program.waitForWindow(kTitlePattern);
    ASSERT_FALSE(window.empty()) << shown << "\n" << program.err();
    EXPECT_EQ(shell("xdotool getwindowname " + window), kTitle);
    program.signal(SIGTERM);
    ASSERT_TRUE(program.wait()) << shown;
    EXPECT_TRUE(program.exitedNormally()) << shown;
    EXPECT_EQ(program.exitCode(), 0) << shown;
    EXPECT_EQ(program.out().find("Usage"), std::string::npos) << shown;
    // The configuration beside the program was found.
    EXPECT_EQ(countLines(program.err(), "config.ini could not be opened"), 0) << program.err();
  }
}

TEST_F(ProgramTest, InterruptEndsCleanly) {
  Program program({}, environment());
  ASSERT_FALSE(program.waitForWindow(kTitlePattern).empty());
  program.signal(SIGINT);
  ASSERT_TRUE(program.wait());
  EXPECT_TRUE(program.exitedNormally());
  EXPECT_EQ(program.exitCode(), 0);
}

TEST_F(ProgramTest, MissingConfigurationIsReportedOnce) {
  const std::string emptyBase = makeTempDir();
  Program program({}, environment({{"QUONIX_BASE_DIR", emptyBase}}));
  ASSERT_FALSE(program.waitForWindow(kTitlePattern).empty()) << program.err();
  program.signal(SIGTERM);
  ASSERT_TRUE(program.wait());
  EXPECT_EQ(program.exitCode(), 0);
  EXPECT_EQ(countLines(program.err(), "config.ini could not be opened"), 1) << program.err();
}

TEST_F(ProgramTest, QuitShortcutEndsCleanly) {
  Program program({}, environment());
  const std::string window = program.waitForWindow(kTitlePattern);
  ASSERT_FALSE(window.empty());
  Program::settle();
  Program::keys(window, "ctrl+q");
  ASSERT_TRUE(program.wait());
  EXPECT_TRUE(program.exitedNormally());
  EXPECT_EQ(program.exitCode(), 0);
}

TEST_F(ProgramTest, ServerDialogRemembersHostsAndPortAcrossRuns) {
  // Connects through File/Connect (Ctrl+C) by keyboard, as a user would.
  auto connectTo = [](Program& program, const std::string& window, const std::string& host, const char* port) {
    Program::keys(window, "ctrl+c");
    const std::string dialog = program.waitForWindow("server dialog$");
    ASSERT_FALSE(dialog.empty()) << "no server dialog";
    Program::settle();
    Program::keys(dialog, "ctrl+a");
    Program::type(dialog, host);
    if (port) {
      Program::keys(dialog, "Tab ctrl+a");
      Program::type(dialog, port);
      Program::keys(dialog, "Tab");
    }
    Program::keys(dialog, "Return");
    ASSERT_TRUE(program.waitForWindowGone("server dialog$"));
  };

  {
    Program first({}, environment());
    const std::string window = first.waitForWindow(kTitlePattern);
    ASSERT_FALSE(window.empty());
    Program::settle();
    connectTo(first, window, "alpha.example", "5555");
    connectTo(first, window, "bravo.example", nullptr);
    connectTo(first, window, "charlie.example", nullptr);
    Program::keys(window, "ctrl+q");
    ASSERT_TRUE(first.wait());
    EXPECT_EQ(first.exitCode(), 0);
  }
  {
    QSettings saved(QString::fromStdString(settingsFile()), QSettings::IniFormat);
    EXPECT_EQ(saved.value("serverConnection/port").toInt(), 5555);
  }
  {
    Program second({}, environment());
    const std::string window = second.waitForWindow(kTitlePattern);
    ASSERT_FALSE(window.empty());
    Program::settle();
    connectTo(second, window, "delta.example", nullptr);
    connectTo(second, window, "echo.example", nullptr);
    connectTo(second, window, "foxtrot.example", nullptr);
    second.signal(SIGTERM);
    ASSERT_TRUE(second.wait());
    EXPECT_EQ(second.exitCode(), 0);
  }
  QSettings saved(QString::fromStdString(settingsFile()), QSettings::IniFormat);
  EXPECT_EQ(saved.value("serverConnection/serializedData").toString().toStdString(),
            "[{\"text\":\"foxtrot.example\"},{\"text\":\"echo.example\"},{\"text\":\"delta.example\"},"
            "{\"text\":\"charlie.example\"},{\"text\":\"bravo.example\"}]");
  EXPECT_EQ(saved.value("serverConnection/port").toInt(), 5555);
}
