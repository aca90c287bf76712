#include "Logger.h"

#include <iostream>

namespace {
class StderrOutput : public Logger::Output {
 public:
  void write(const std::string& text) override { std::cerr << text; }
  void writeLine(const std::string& text) override { std::cerr << text << std::endl; }
};
}  // namespace

Logger& Logger::getSingleton() {
  static Logger logger;
  return logger;
}

Logger::Logger() : _flags(Warning | Error), _output(new StderrOutput) {}
Logger::~Logger() { delete _output; }

unsigned Logger::getFlags() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _flags;
}

void Logger::setFlags(unsigned flags) {
  std::lock_guard<std::mutex> lock(_mutex);
  _flags = flags;
}

void Logger::setOutput(Output* output) {
  std::lock_guard<std::mutex> lock(_mutex);
  if (output == _output) return;
  delete _output;
  _output = output;
}

void Logger::log(Level level, const std::string& message) {
  std::lock_guard<std::mutex> lock(_mutex);
  if (!_output || !(_flags & level)) return;
  const char* tag = level == Error ? "Error: " : level == Warning ? "Warning: " : level == Info ? "Info: " : "Debug: ";
  _output->writeLine(tag + message);
}
