#include "SceneFileText.h"

#include <cctype>

namespace {

std::string trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

bool isComment(const std::string& line) {
  return line.empty() || line[0] == '#' || line[0] == ';' || line.compare(0, 2, "//") == 0;
}

// "key = value" on one line (a trailing comment allowed) with the value unquoted.
bool entryOf(const std::string& line, std::string& key, std::string& value) {
  size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  key = trim(line.substr(0, eq));
  std::string rest = trim(line.substr(eq + 1));
  if (!rest.empty() && rest[0] == '"') {
    size_t close = rest.find('"', 1);
    if (close == std::string::npos) return false;
    value = rest.substr(1, close - 1);
    return true;
  }
  size_t cut = rest.find_first_of("#;");
  value = trim(rest.substr(0, cut));
  return true;
}

}  // namespace

void SceneFileText::stripByteOrderMark(std::string& text) {
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
}

bool SceneFileText::looksLikeScene(const std::string& headIn, std::string& reason) {
  std::string head = headIn;
  stripByteOrderMark(head);
  size_t control = 0;
  for (unsigned char c : head)
    if (c == 0 || (c < 0x20 && c != '\n' && c != '\r' && c != '\t')) ++control;
  if (control > 0) {
    reason = "The file holds binary data; a scene file is text beginning with 'format = quonix-scene'.";
    return false;
  }
  size_t pos = 0;
  while (pos < head.size()) {
    size_t end = head.find('\n', pos);
    if (end == std::string::npos) end = head.size();
    std::string line = trim(head.substr(pos, end - pos));
    pos = end + 1;
    if (isComment(line)) continue;
    std::string key, value;
    if (entryOf(line, key, value) && key == "format" && value == FormatName) return true;
    break;
  }
  reason = "The file does not begin with 'format = quonix-scene', so it is no scene file of this program.";
  return false;
}

size_t SceneFileText::headLength(const std::string& text) {
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t end = text.find('\n', pos);
    if (end == std::string::npos) return std::string::npos;
    if (!isComment(trim(text.substr(pos, end - pos)))) return end + 1;
    pos = end + 1;
  }
  return std::string::npos;
}

bool SceneFileText::declaresBeingWritten(const std::string& text) {
  int depth = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (isComment(line)) continue;
    std::string key, value;
    if (depth == 0 && entryOf(line, key, value) && key == "status" && value == "being written") return true;
    // Braces outside quoted text open and close blocks.
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
      char c = line[i];
      if (c == '\\' && quoted) {
        ++i;
      } else if (c == '"') {
        quoted = !quoted;
      } else if (!quoted && c == '{') {
        ++depth;
      } else if (!quoted && c == '}') {
        --depth;
      } else if (!quoted && (c == '#' || c == ';')) {
        break;
      }
    }
  }
  return false;
}
