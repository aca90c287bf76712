#include "QtConsoleOutput.h"

void QtConsoleOutput::write(const std::string& text) { _stream << text; }

void QtConsoleOutput::writeLine(const std::string& text) {
  _stream << text << '\n';
  _stream.flush();
}
