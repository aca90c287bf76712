#pragma once
// A broken invariant: the message, the condition that failed and where it was checked.
// Deliberately not a std::exception, so handlers can tell the two apart.
#include <string>

class InternalError {
 public:
  InternalError(std::string message, std::string condition, std::string file, int line)
      : _message(std::move(message)), _condition(std::move(condition)), _file(std::move(file)), _line(line) {}

  const std::string& getMessage() const { return _message; }
  const std::string& getCondition() const { return _condition; }
  const std::string& getFile() const { return _file; }
  int getLine() const { return _line; }
  // "message (condition) at file:line"
  std::string toString() const {
    return _message + " (" + _condition + ") at " + _file + ":" + std::to_string(_line);
  }

 private:
  std::string _message;
  std::string _condition;
  std::string _file;
  int _line;
};

// Throws InternalError(message, "#cond", file, __LINE__) when cond is false.
#define INTERNAL_CHECK(cond, message, file)                          \
  do {                                                               \
    if (!(cond)) throw InternalError((message), #cond, (file), __LINE__); \
  } while (0)
