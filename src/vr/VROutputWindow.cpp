#include "VROutputWindow.h"

#include <iostream>

#include <vtkLogger.h>
#include <vtkObjectFactory.h>

vtkStandardNewMacro(VROutputWindow);

namespace {
std::string trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return std::string();
  const size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}
}  // namespace

VROutputWindow::VROutputWindow() {
  // Our lines replace the logger's coloured copy of every message on standard error.
  vtkLogger::SetStderrVerbosity(vtkLogger::VERBOSITY_OFF);
}

std::string VROutputWindow::condense(const std::string& text, std::string* key) {
  std::string where, message;
  size_t pos = 0;
  while (pos <= text.size() && message.empty()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty()) continue;
    // "ERROR: In <file>, line <n>" or "Warning: In ...": where it was said, not what.
    if (where.empty() && line.find(": In ") != std::string::npos && line.find(", line ") != std::string::npos) {
      where = line.substr(line.find(": In ") + 5);
      continue;
    }
    message = line;
  }
  if (message.empty()) message = trim(text);
  if (key) {
    // The object's name and address, without the message's changing details.
    const size_t object = message.find("): ");
    *key = where + "|" + (object == std::string::npos ? message : message.substr(0, object + 1));
  }
  return message;
}

void VROutputWindow::say(const char* kind, const char* text) {
  std::string key;
  const std::string line = std::string("VTK ") + kind + ": " + condense(text ? text : "", &key);
  {
    std::lock_guard<std::mutex> lock(_mutex);
    if (!_said.insert(key).second) return;
  }
  std::cerr << line << std::endl;
  DisplayText(line.c_str());  // the message log file
}

void VROutputWindow::DisplayErrorText(const char* text) { say("error", text); }
void VROutputWindow::DisplayWarningText(const char* text) { say("warning", text); }
void VROutputWindow::DisplayGenericWarningText(const char* text) { say("warning", text); }
