#include "CommandJournal.h"

#include <cerrno>
#include <cstring>
#include <sstream>

CommandJournal::~CommandJournal() { close(); }

bool CommandJournal::open(const std::string& path, std::string& error) {
  std::lock_guard<std::mutex> lock(_mutex);
  if (_file) std::fclose(_file);
  _file = std::fopen(path.c_str(), "w");
  if (!_file) {
    error = "cannot write the journal " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

void CommandJournal::write(int64_t connectionId, const std::string& name, const Properties& arguments) {
  std::string safeName = name;
  for (char& c : safeName)
    if (static_cast<unsigned char>(c) < 0x20) c = '?';  // a name must not break the line format
  std::string line = std::to_string(connectionId) + "\t" + safeName + "\t" + oneLine(arguments) + "\n";
  std::lock_guard<std::mutex> lock(_mutex);
  if (!_file) return;
  std::fwrite(line.data(), 1, line.size(), _file);
  std::fflush(_file);
}

void CommandJournal::close() {
  std::lock_guard<std::mutex> lock(_mutex);
  if (_file) {
    std::fclose(_file);
    _file = nullptr;
  }
}

std::string CommandJournal::oneLine(const Properties& props) {
  // The text form writes one entry per line, a nested set as "key {", its entries, "}". Strings are
  // quoted with their line ends escaped, so every line break here is structural.
  std::istringstream in(props.toText());
  std::string out, line, previous;
  while (std::getline(in, line)) {
    size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) continue;
    line.erase(0, start);
    if (!out.empty()) {
      bool tight = previous.back() == '{' || line == "}";
      out += tight ? " " : ", ";
    }
    out += line;
    previous = line;
  }
  return out;
}
