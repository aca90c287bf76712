#pragma once
// Where the logger writes: the standard error stream. Owned by the logger once installed.
#include <iostream>
#include <string>

#include "Logger.h"

class QtConsoleOutput : public Logger::Output {
 public:
  // The stream is the standard error stream; tests pass another one.
  explicit QtConsoleOutput(std::ostream& stream = std::cerr) : _stream(stream) {}
  ~QtConsoleOutput() override = default;

  // The text as it is, no line end.
  void write(const std::string& text) override;
  // The text and a line end, flushed at once.
  void writeLine(const std::string& text) override;

 private:
  std::ostream& _stream;
};
