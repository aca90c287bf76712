#pragma once
// Process-wide logger. Messages whose level bit is set in the flags word reach the output.
#include <memory>
#include <mutex>
#include <string>

class Logger {
 public:
  enum Level : unsigned { Debug = 1, Info = 2, Warning = 4, Error = 8 };

  // Where the logger writes; owned by the logger once installed.
  class Output {
   public:
    virtual ~Output() = default;
    virtual void write(const std::string& text) = 0;
    virtual void writeLine(const std::string& text) = 0;
  };

  static Logger& getSingleton();

  unsigned getFlags() const;
  void setFlags(unsigned flags);
  // Installs the output and deletes the one held before; null silences the logger.
  void setOutput(Output* output);

  void log(Level level, const std::string& message);
  void debug(const std::string& message) { log(Debug, message); }
  void info(const std::string& message) { log(Info, message); }
  void warning(const std::string& message) { log(Warning, message); }
  void error(const std::string& message) { log(Error, message); }

 private:
  Logger();
  ~Logger();
  mutable std::mutex _mutex;  // guards flags and output; any thread may log
  unsigned _flags;
  Output* _output;
};
