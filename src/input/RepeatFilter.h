#pragma once
// Keeps a console report that a frame loop would repeat to one line per subject and cause: a
// text is let through when it differs from the last one let through for the same subject.
// Thread-safe (its own mutex); the process-wide instance serves both render buffers, so a
// report does not come once per buffer.
#include <map>
#include <mutex>
#include <string>

class RepeatFilter {
 public:
  // True when the text is new for the subject (it is then remembered as the last one).
  bool changed(const std::string& subject, const std::string& text);

  // The filter of the console reports of the controllers.
  static RepeatFilter& console();

 private:
  std::mutex _mutex;
  std::map<std::string, std::string> _last;
};
