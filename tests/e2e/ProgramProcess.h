#pragma once
// The real program, build/bin/quonixvr, run as a user runs it: its own output files, its
// windows on the X display found and driven through xdotool.
#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

// A sanitizer's own bookkeeping sets the pace of a sanitized program (an orderly exit alone takes
// seconds): bounds on how fast the program reacts hold only without one.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizedBuild = true;
#else
constexpr bool kSanitizedBuild = false;
#endif

// A fresh folder under the temporary directory.
std::string makeTempDir();
std::string readFile(const std::string& path);
// How many lines of the text equal the line.
int countLines(const std::string& text, const std::string& line);
// Runs a shell command and returns its standard output without trailing blanks and line ends.
std::string shell(const std::string& command);
// The names of a process's threads, one per thread.
std::vector<std::string> threadNames(pid_t pid);
bool hasThread(pid_t pid, const std::string& name);

// Makes the folder `base` a program base folder that uses the build's generated assets.
void makeBaseWithAssets(const std::string& base);
// What a run on the scripted headset needs: settings in dir/settings, config.ini and assets in
// base, the script dir/vrsim.txt, the eye images of the listed frames in captures.
std::map<std::string, std::string> headsetEnvironment(const std::string& dir, const std::string& base,
                                                      const std::string& captures, const std::string& frames);

class Program;
// Asks the window to close as a window manager would (WM_DELETE_WINDOW).
bool requestClose(const std::string& windowId);
// Waits for the file to appear while the program runs; false when it ended or time ran out.
// For a left-eye capture it waits for the same frame's right eye too (the frame is whole).
bool waitForFile(const std::string& path, Program& program, int seconds = 60);
// Waits until the running program has no thread of that name; false when it ended or time ran out.
bool waitForThreadGone(Program& program, const std::string& name, int seconds = 60);
// The icons and palette images are filled in by the program's icon preload thread, started with
// its graphics before the first frame and gone once every image is filled. A script line that
// holds the frame back until releaseOnceIconsFilled creates goFile...
std::string iconsFilledGate(const std::string& goFile);
// ...which it does once a capture made before that frame (so the preload had started) exists
// and the preload thread has ended. False when the program ended or two minutes passed.
bool releaseOnceIconsFilled(Program& program, const std::string& firstCapture, const std::string& goFile);
// The newest capture of the left eye in the folder, empty when there is none.
std::string newestLeftEye(const std::string& folder);
// The newest left-eye capture once `captures` more have come after the newest one now: the image
// of a frame begun after this call, however slowly the frames come. Empty when the program ended
// or time ran out.
std::string leftEyeAfterNow(const std::string& folder, Program& program, int captures, int seconds = 60);
// Polls condition until it holds or seconds have passed; its last answer.
bool waitUntil(const std::function<bool()>& condition, int seconds);
// How often part stands in text.
int countOf(const std::string& text, const std::string& part);

// One run of the program with its own settings folder; output goes to files.
class Program {
 public:
  Program(std::vector<std::string> arguments, std::map<std::string, std::string> environment);
  // Kills a program that is still running.
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool started() const { return _pid > 0; }
  pid_t pid() const { return _pid; }

  // Waits for the end (killing the program after a generous limit); true when it ended by itself.
  bool wait();
  // True (with the exit status recorded) when the program has ended.
  bool poll();
  void signal(int number);

  bool exitedNormally() const { return _exitedNormally; }
  int exitCode() const { return _exitCode; }
  std::string out() const { return readFile(_dir + "/stdout"); }
  std::string err() const { return readFile(_dir + "/stderr"); }

  // The id of the program's visible window whose title matches, empty when none appears.
  std::string waitForWindow(const std::string& titlePattern) const;
  // All visible windows of the program whose title matches.
  std::vector<std::string> windows(const std::string& titlePattern) const;
  // Gives the window the keyboard and types the keys (xdotool key syntax).
  static void keys(const std::string& window, const std::string& keys);
  static void type(const std::string& window, const std::string& text);
  // Gives the window the keyboard and waits until the X server reports it focused.
  static void focus(const std::string& window);
  // A window that was just mapped takes keys only once Qt Quick has drawn it and set its
  // focus item; there is no event to wait for from outside, so give it a moment.
  static void settle();
  // Waits until the program has no visible window with that title.
  bool waitForWindowGone(const std::string& titlePattern) const;

 private:
  std::string _dir;
  pid_t _pid = -1;
  bool _finished = false;
  bool _exitedNormally = false;
  int _exitCode = -1;
};
