#pragma once
// Helpers shared by the server tests: a private folder, the journal's lines, a connected client.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Properties.h"
#include "ServerConnection.h"

// A fresh folder, removed with its content at the end of the test.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quonix-server-test-XXXXXX").string();
    if (mkdtemp(&pattern[0])) _path = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!_path.empty()) std::filesystem::remove_all(_path, ignored);
  }
  std::string file(const std::string& name) const { return _path + "/" + name; }

 private:
  std::string _path;
};

struct JournalLine {
  int64_t connection = 0;
  std::string name;
  Properties arguments;
  bool parsed = false;
};

inline std::vector<JournalLine> readJournal(const std::string& path) {
  std::vector<JournalLine> lines;
  std::ifstream in(path);
  std::string text;
  while (std::getline(in, text)) {
    JournalLine line;
    size_t a = text.find('\t'), b = a == std::string::npos ? a : text.find('\t', a + 1);
    if (b == std::string::npos) {
      lines.push_back(line);
      continue;
    }
    line.connection = std::strtoll(text.substr(0, a).c_str(), nullptr, 10);
    line.name = text.substr(a + 1, b - a - 1);
    line.parsed = Properties::fromText(text.substr(b + 1), line.arguments);
    lines.push_back(line);
  }
  return lines;
}

// The journal lines of one name.
inline std::vector<JournalLine> linesNamed(const std::vector<JournalLine>& all, const std::string& name) {
  std::vector<JournalLine> out;
  for (const JournalLine& l : all)
    if (l.name == name) out.push_back(l);
  return out;
}
