#include "Properties.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <sstream>
#include <unordered_map>

struct Properties::Value {
  Type type = Type::None;
  bool b = false;
  int64_t i = 0;
  double r = 0.0;
  std::string s;
  std::vector<double> reals;
  std::vector<std::string> strings;
  std::unique_ptr<Properties> nested;

  Value() = default;
  Value(const Value& o)
      : type(o.type), b(o.b), i(o.i), r(o.r), s(o.s), reals(o.reals), strings(o.strings),
        nested(o.nested ? std::make_unique<Properties>(*o.nested) : nullptr) {}
  Value& operator=(const Value& o) {
    if (this != &o) {
      Value copy(o);
      *this = std::move(copy);
    }
    return *this;
  }
  Value(Value&&) = default;
  Value& operator=(Value&&) = default;

  bool operator==(const Value& o) const {
    if (type != o.type) return false;
    switch (type) {
      case Type::None: return true;
      case Type::Bool: return b == o.b;
      case Type::Int: return i == o.i;
      case Type::Real: return r == o.r || (std::isnan(r) && std::isnan(o.r));
      case Type::String: return s == o.s;
      case Type::RealList: return reals == o.reals;
      case Type::StringList: return strings == o.strings;
      case Type::Nested: return *nested == *o.nested;
    }
    return false;
  }
};

struct Properties::Entry {
  std::string key;
  Value value;
};

// Entries keep their insertion order; the index makes a lookup independent of the set's size, so
// that reading a set of n entries costs n lookups, not n squared comparisons (a message from a
// peer may hold very many).
struct Properties::Store {
  std::vector<Entry> entries;
  std::unordered_map<std::string, size_t> index;  // key -> position in entries

  void reindexFrom(size_t first) {
    for (size_t i = first; i < entries.size(); ++i) index[entries[i].key] = i;
  }
};

namespace {

bool parseNumber(const std::string& text, bool& isInt, int64_t& i, double& r) {
  if (text.empty()) return false;
  if (text == "inf" || text == "+inf") { isInt = false; r = std::numeric_limits<double>::infinity(); return true; }
  if (text == "-inf") { isInt = false; r = -std::numeric_limits<double>::infinity(); return true; }
  if (text == "nan") { isInt = false; r = std::numeric_limits<double>::quiet_NaN(); return true; }
  const char* begin = text.c_str();
  char* end = nullptr;
  bool looksInt = text.find_first_of(".eE") == std::string::npos;
  if (looksInt) {
    errno = 0;
    long long v = std::strtoll(begin, &end, 10);
    if (end && *end == '\0' && errno == 0 && end != begin) {
      isInt = true;
      i = v;
      r = static_cast<double>(v);
      return true;
    }
  }
  errno = 0;
  double d = std::strtod(begin, &end);
  if (end && *end == '\0' && end != begin && (errno == 0 || errno == ERANGE)) {
    // strtod accepts "0x..", "infinity", "nan(...)": only plain decimal forms are numbers here.
    for (const char* p = begin; *p; ++p) {
      if (!(std::isdigit(static_cast<unsigned char>(*p)) || std::strchr("+-.eE", *p))) return false;
    }
    isInt = false;
    r = d;
    return true;
  }
  return false;
}

std::string formatReal(double r) {
  if (std::isnan(r)) return "nan";
  if (std::isinf(r)) return r > 0 ? "inf" : "-inf";
  char buf[64];
  // The shortest digits that read back to the same double, in the style printf's %g gives
  // them: scientific for exponents below -4 or from the digit count on, else plain decimals.
  std::string text(buf, std::to_chars(buf, buf + sizeof buf, r, std::chars_format::scientific).ptr);
  const size_t e = text.find('e');
  const int exponent = std::atoi(text.c_str() + e + 1);
  int digits = 0;
  for (size_t i = 0; i < e; ++i) digits += text[i] >= '0' && text[i] <= '9';
  if (exponent >= -4 && exponent < digits)
    text.assign(buf, std::to_chars(buf, buf + sizeof buf, r, std::chars_format::fixed).ptr);
  // Plain decimals read better than "3e+01" wherever they stay short.
  const double magnitude = std::fabs(r);
  if (text.find_first_of("eE") != std::string::npos && magnitude >= 1e-4 && magnitude < 1e15)
    text.assign(buf, std::to_chars(buf, buf + sizeof buf, r, std::chars_format::fixed).ptr);
  if (text.find_first_of(".eE") == std::string::npos) text += ".0";
  return text;
}

void appendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool isKeyChar(int c) {
  return std::isalnum(c) || c == '_' || c == '.' || c == '-' || c == ':' || c == '/';
}

bool isBareKey(const std::string& key) {
  if (key.empty()) return false;
  for (unsigned char c : key)
    if (!isKeyChar(c)) return false;
  return true;
}

}  // namespace

// Recursive-descent reader of the text form. Reads the whole stream into memory first so
// that a nested set can be parsed with look-ahead; config and message sizes are small.
class PropertiesParser {
 public:
  PropertiesParser(const std::string& text, bool uniqueKeys = false) : _text(text), _uniqueKeys(uniqueKeys) {}

  // Parses entries into props until end of input (depth 0) or '}' (depth > 0).
  bool parseBody(Properties& props, int depth) {
    if (depth > 64) return fail("nesting too deep");
    for (;;) {
      skipSpaceAndComments();
      if (atEnd()) return depth == 0 ? true : fail("missing '}'");
      if (depth == 0) _entryStart = _pos;
      char c = peek();
      if (c == '}') {
        if (depth == 0) return fail("unexpected '}'");
        ++_pos;
        return true;
      }
      std::string key;
      if (!parseKey(key)) return false;
      if (depth == 0 && _keyLines) (*_keyLines)[key] = line();
      if (_uniqueKeys && props.hasName(key)) return fail("'" + key + "' is given twice");
      skipInlineSpace();
      if (peek() == '{') {
        ++_pos;
        Properties nested;
        bool ok = parseBody(nested, depth + 1);
        props.set(key, nested);  // what was read stays, also on failure
        if (!ok) return false;
        if (!endOfEntry()) return false;
        continue;
      }
      if (peek() != '=') return fail("expected '=' after key '" + key + "'");
      ++_pos;
      skipInlineSpace();
      if (peek() == '{') {
        ++_pos;
        Properties nested;
        bool ok = parseBody(nested, depth + 1);
        props.set(key, nested);
        if (!ok) return false;
        if (!endOfEntry()) return false;
        continue;
      }
      Properties::Value value;
      if (!parseValue(value)) return false;
      props.slot(key) = std::move(value);
      if (!endOfEntry()) return false;
    }
  }

  // Top level of a hand-edited file: each malformed entry is recorded and skipped up to the
  // end of the line it failed on.
  bool parseResuming(Properties& props, std::vector<std::string>& errors,
                     std::map<std::string, size_t>* keyLines) {
    _keyLines = keyLines;
    bool clean = true;
    while (!parseBody(props, 0)) {
      clean = false;
      errors.push_back("line " + std::to_string(lineAt(std::min(_entryStart, _pos))) + ": " + _error);
      _error.clear();
      // A failure that already consumed its line end leaves the next line whole.
      if (_pos > _entryStart && _text[_pos - 1] == '\n') continue;
      while (!atEnd() && peek() != '\n') ++_pos;
    }
    return clean;
  }

  const std::string& error() const { return _error; }
  size_t line() const { return lineAt(_pos); }
  size_t lineAt(size_t pos) const {
    size_t n = 1;
    for (size_t i = 0; i < pos && i < _text.size(); ++i)
      if (_text[i] == '\n') ++n;
    return n;
  }

 private:
  const std::string& _text;
  const bool _uniqueKeys;
  std::map<std::string, size_t>* _keyLines = nullptr;
  size_t _entryStart = 0;  // where the top-level entry being read began
  size_t _pos = 0;
  std::string _error;

  bool atEnd() const { return _pos >= _text.size(); }
  char peek() const { return atEnd() ? '\0' : _text[_pos]; }
  bool fail(const std::string& message) {
    if (_error.empty()) _error = message;
    return false;
  }

  void skipComment() {
    while (!atEnd() && peek() != '\n') ++_pos;
  }
  bool atComment() const {
    char c = peek();
    return c == '#' || c == ';' || (c == '/' && _pos + 1 < _text.size() && _text[_pos + 1] == '/');
  }
  void skipSpaceAndComments() {
    while (!atEnd()) {
      char c = peek();
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',') {
        ++_pos;
      } else if (atComment()) {
        skipComment();
      } else {
        break;
      }
    }
  }
  void skipInlineSpace() {
    while (!atEnd() && (peek() == ' ' || peek() == '\t')) ++_pos;
  }
  // After a value: spaces, an optional comment, then a line end, ',', '}' or the end.
  bool endOfEntry() {
    skipInlineSpace();
    if (atComment()) skipComment();
    if (atEnd()) return true;
    char c = peek();
    if (c == '\r' || c == '\n' || c == ',' || c == '}') return true;
    return fail(std::string("unexpected '") + c + "' after value");
  }

  bool parseKey(std::string& key) {
    if (peek() == '"') return parseQuoted(key);
    size_t start = _pos;
    while (!atEnd() && isKeyChar(static_cast<unsigned char>(peek()))) ++_pos;
    if (_pos == start) return fail(std::string("unexpected '") + peek() + "'");
    key.assign(_text, start, _pos - start);
    return true;
  }

  bool parseQuoted(std::string& out) {
    ++_pos;  // opening quote
    out.clear();
    while (!atEnd()) {
      char c = _text[_pos++];
      if (c == '"') return true;
      if (c == '\n') return fail("line end inside a string");
      if (c != '\\') {
        out += c;
        continue;
      }
      if (atEnd()) break;
      char e = _text[_pos++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          if (_pos + 4 > _text.size()) return fail("short \\u escape");
          uint32_t cp = 0;
          for (int k = 0; k < 4; ++k) {
            char h = _text[_pos++];
            cp <<= 4;
            if (h >= '0' && h <= '9') cp |= h - '0';
            else if (h >= 'a' && h <= 'f') cp |= h - 'a' + 10;
            else if (h >= 'A' && h <= 'F') cp |= h - 'A' + 10;
            else return fail("bad \\u escape");
          }
          appendUtf8(out, cp);
          break;
        }
        default: return fail(std::string("unknown escape \\") + e);
      }
    }
    return fail("unterminated string");
  }

  // A bare word: up to a line end, comment, ',', ']' or '}'; trailing blanks dropped.
  std::string parseBare() {
    size_t start = _pos;
    while (!atEnd()) {
      char c = peek();
      if (c == '\n' || c == '\r' || c == ',' || c == ']' || c == '}' || c == '#' || c == ';') break;
      if (c == '/' && _pos + 1 < _text.size() && _text[_pos + 1] == '/') break;
      ++_pos;
    }
    size_t end = _pos;
    while (end > start && (_text[end - 1] == ' ' || _text[end - 1] == '\t')) --end;
    return _text.substr(start, end - start);
  }

  bool parseScalar(Properties::Value& v) {
    if (peek() == '"') {
      v.type = Properties::Type::String;
      return parseQuoted(v.s);
    }
    std::string word = parseBare();
    if (word.empty()) return fail("missing value");
    bool isInt = false;
    if (parseNumber(word, isInt, v.i, v.r)) {
      v.type = isInt ? Properties::Type::Int : Properties::Type::Real;
      return true;
    }
    if (word == "true" || word == "false") {
      v.type = Properties::Type::Bool;
      v.b = word == "true";
      return true;
    }
    v.type = Properties::Type::String;
    v.s = word;
    return true;
  }

  bool parseValue(Properties::Value& v) {
    if (peek() != '[') return parseScalar(v);
    ++_pos;
    std::vector<Properties::Value> items;
    for (;;) {
      skipSpaceAndComments();
      if (atEnd()) return fail("missing ']'");
      if (peek() == ']') {
        ++_pos;
        break;
      }
      Properties::Value item;
      if (!parseScalar(item)) return false;
      if (item.type == Properties::Type::Bool) return fail("flags are not allowed in lists");
      items.push_back(std::move(item));
    }
    bool allNumbers = true;
    for (auto& item : items)
      if (item.type != Properties::Type::Int && item.type != Properties::Type::Real) allNumbers = false;
    if (allNumbers) {
      v.type = Properties::Type::RealList;
      for (auto& item : items) v.reals.push_back(item.type == Properties::Type::Int ? double(item.i) : item.r);
    } else {
      v.type = Properties::Type::StringList;
      for (auto& item : items) {
        if (item.type == Properties::Type::String) v.strings.push_back(item.s);
        else v.strings.push_back(item.type == Properties::Type::Int ? std::to_string(item.i) : formatReal(item.r));
      }
    }
    return true;
  }
};

Properties::Properties() : _store(new Store) {}
Properties::Properties(const Properties& other) : _store(new Store(*other._store)) {}
Properties::Properties(Properties&& other) noexcept : _store(other._store) { other._store = new Store; }
Properties& Properties::operator=(const Properties& other) {
  if (this != &other) *_store = *other._store;
  return *this;
}
Properties& Properties::operator=(Properties&& other) noexcept {
  if (this != &other) std::swap(_store, other._store);
  return *this;
}
Properties::~Properties() { delete _store; }

const Properties::Value* Properties::find(const std::string& key) const {
  auto it = _store->index.find(key);
  return it == _store->index.end() ? nullptr : &_store->entries[it->second].value;
}

Properties::Value& Properties::slot(const std::string& key) {
  auto it = _store->index.find(key);
  if (it != _store->index.end()) return _store->entries[it->second].value;
  _store->index.emplace(key, _store->entries.size());
  _store->entries.push_back(Entry{key, Value()});
  return _store->entries.back().value;
}

bool Properties::hasName(const std::string& key) const { return find(key) != nullptr; }

Properties::Type Properties::typeOf(const std::string& key) const {
  const Value* v = find(key);
  return v ? v->type : Type::None;
}

std::vector<std::string> Properties::names() const {
  std::vector<std::string> out;
  out.reserve(_store->entries.size());
  for (const Entry& e : _store->entries) out.push_back(e.key);
  return out;
}

size_t Properties::size() const { return _store->entries.size(); }

bool Properties::remove(const std::string& key) {
  auto it = _store->index.find(key);
  if (it == _store->index.end()) return false;
  size_t position = it->second;
  _store->index.erase(it);
  _store->entries.erase(_store->entries.begin() + long(position));
  _store->reindexFrom(position);
  return true;
}

void Properties::clear() {
  _store->entries.clear();
  _store->index.clear();
}

bool Properties::tryGetReal(const std::string& key, double& value) const {
  const Value* v = find(key);
  if (!v) return false;
  switch (v->type) {
    case Type::Bool: value = v->b ? 1.0 : 0.0; return true;
    case Type::Int: value = double(v->i); return true;
    case Type::Real: value = v->r; return true;
    case Type::String: {
      bool isInt = false;
      int64_t i = 0;
      return parseNumber(v->s, isInt, i, value);
    }
    case Type::RealList:
      if (v->reals.size() != 1) return false;
      value = v->reals[0];
      return true;
    default: return false;
  }
}

bool Properties::tryGetInt(const std::string& key, int64_t& value) const {
  double r = 0;
  const Value* v = find(key);
  if (v && v->type == Type::Int) {
    value = v->i;
    return true;
  }
  if (!tryGetReal(key, r) || !std::isfinite(r)) return false;
  if (r >= 9.2e18 || r <= -9.2e18) return false;
  value = static_cast<int64_t>(r);
  return true;
}

bool Properties::tryGetBool(const std::string& key, bool& value) const {
  const Value* v = find(key);
  if (!v) return false;
  if (v->type == Type::Bool) {
    value = v->b;
    return true;
  }
  if (v->type == Type::String && (v->s == "true" || v->s == "false")) {
    value = v->s == "true";
    return true;
  }
  double r = 0;
  if (!tryGetReal(key, r)) return false;
  value = r != 0.0;
  return true;
}

double Properties::getReal(const std::string& key) const {
  double r = 0;
  return tryGetReal(key, r) ? r : 0.0;
}

int64_t Properties::getInt64(const std::string& key) const {
  int64_t i = 0;
  return tryGetInt(key, i) ? i : 0;
}

int Properties::getInt(const std::string& key) const {
  int64_t i = getInt64(key);
  if (i > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (i < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(i);
}

bool Properties::getBool(const std::string& key) const {
  bool b = false;
  return tryGetBool(key, b) && b;
}

std::string Properties::getString(const std::string& key) const {
  const Value* v = find(key);
  if (!v) return std::string();
  switch (v->type) {
    case Type::String: return v->s;
    case Type::Bool: return v->b ? "true" : "false";
    case Type::Int: return std::to_string(v->i);
    case Type::Real: return formatReal(v->r);
    default: return std::string();
  }
}

bool Properties::get(const std::string& key, std::vector<double>& values) const {
  const Value* v = find(key);
  if (!v) return false;
  if (v->type == Type::RealList) {
    values.insert(values.end(), v->reals.begin(), v->reals.end());
    return true;
  }
  if (v->type == Type::StringList) {
    std::vector<double> parsed;
    for (const std::string& s : v->strings) {
      bool isInt = false;
      int64_t i = 0;
      double r = 0;
      if (!parseNumber(s, isInt, i, r)) return false;
      parsed.push_back(r);
    }
    values.insert(values.end(), parsed.begin(), parsed.end());
    return true;
  }
  double r = 0;
  if (v->type == Type::Nested || !tryGetReal(key, r)) return false;
  values.push_back(r);
  return true;
}

bool Properties::get(const std::string& key, std::vector<std::string>& values) const {
  const Value* v = find(key);
  if (!v) return false;
  switch (v->type) {
    case Type::StringList: values.insert(values.end(), v->strings.begin(), v->strings.end()); return true;
    case Type::RealList:
      for (double r : v->reals) values.push_back(formatReal(r));
      return true;
    case Type::Nested:
    case Type::None: return false;
    default: values.push_back(getString(key)); return true;
  }
}

Properties Properties::getProperties(const std::string& key) const {
  const Value* v = find(key);
  if (v && v->type == Type::Nested) return *v->nested;
  return Properties();
}

void Properties::set(const std::string& key, const std::string& value, Mode mode) {
  Value& v = slot(key);
  if (mode == Append && v.type == Type::StringList) {
    v.strings.push_back(value);
    return;
  }
  v = Value();
  v.type = Type::String;
  v.s = value;
}

void Properties::set(const std::string& key, const char* value, Mode mode) {
  set(key, std::string(value ? value : ""), mode);
}

void Properties::set(const std::string& key, bool value, Mode) {
  Value& v = slot(key);
  v = Value();
  v.type = Type::Bool;
  v.b = value;
}

void Properties::set(const std::string& key, int value, Mode mode) { set(key, int64_t(value), mode); }

void Properties::set(const std::string& key, int64_t value, Mode mode) {
  Value& v = slot(key);
  if (mode == Append && v.type == Type::RealList) {
    v.reals.push_back(double(value));
    return;
  }
  v = Value();
  v.type = Type::Int;
  v.i = value;
}

void Properties::set(const std::string& key, double value, Mode mode) {
  Value& v = slot(key);
  if (mode == Append && v.type == Type::RealList) {
    v.reals.push_back(value);
    return;
  }
  v = Value();
  v.type = Type::Real;
  v.r = value;
}

void Properties::set(const std::string& key, const std::vector<double>& values, Mode mode) {
  Value& v = slot(key);
  if (mode == Append && v.type == Type::RealList) {
    v.reals.insert(v.reals.end(), values.begin(), values.end());
    return;
  }
  v = Value();
  v.type = Type::RealList;
  v.reals = values;
}

void Properties::set(const std::string& key, const std::vector<std::string>& values, Mode mode) {
  Value& v = slot(key);
  if (mode == Append && v.type == Type::StringList) {
    v.strings.insert(v.strings.end(), values.begin(), values.end());
    return;
  }
  v = Value();
  v.type = Type::StringList;
  v.strings = values;
}

void Properties::set(const std::string& key, const Properties& nested, Mode) {
  Value fresh;
  fresh.type = Type::Nested;
  fresh.nested = std::make_unique<Properties>(nested);  // copy first: nested may be *this
  slot(key) = std::move(fresh);
}

void Properties::merge(const Properties& other) {
  if (&other == this) return;
  for (const Entry& e : other._store->entries) slot(e.key) = e.value;
}

bool Properties::operator==(const Properties& other) const {
  if (size() != other.size()) return false;
  for (const Entry& e : _store->entries) {
    const Value* v = other.find(e.key);
    if (!v || !(e.value == *v)) return false;
  }
  return true;
}

std::string Properties::quote(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
  return out;
}

void Properties::write(std::ostream& out, int indent) const {
  const std::string pad(size_t(indent) * 2, ' ');
  for (const Entry& e : _store->entries) {
    out << pad << (isBareKey(e.key) ? e.key : quote(e.key));
    const Value& v = e.value;
    switch (v.type) {
      case Type::None: out << " = \"\"\n"; break;
      case Type::Bool: out << " = " << (v.b ? "true" : "false") << '\n'; break;
      case Type::Int: out << " = " << v.i << '\n'; break;
      case Type::Real: out << " = " << formatReal(v.r) << '\n'; break;
      case Type::String: out << " = " << quote(v.s) << '\n'; break;
      case Type::RealList:
        out << " = [";
        for (size_t k = 0; k < v.reals.size(); ++k) out << (k ? ", " : "") << formatReal(v.reals[k]);
        out << "]\n";
        break;
      case Type::StringList:
        out << " = [";
        for (size_t k = 0; k < v.strings.size(); ++k) out << (k ? ", " : "") << quote(v.strings[k]);
        out << "]\n";
        break;
      case Type::Nested:
        out << " {\n";
        v.nested->write(out, indent + 1);
        out << pad << "}\n";
        break;
    }
  }
}

std::string Properties::toText() const {
  std::ostringstream out;
  write(out, 0);
  return out.str();
}

bool Properties::fromText(const std::string& text, Properties& out, std::string* error) {
  return fromText(text, out, error, false);
}

bool Properties::fromText(const std::string& text, Properties& out, std::string* error, bool uniqueKeys) {
  PropertiesParser parser(text, uniqueKeys);
  bool ok = parser.parseBody(out, 0);
  if (!ok && error) *error = "line " + std::to_string(parser.line()) + ": " + parser.error();
  return ok;
}

bool Properties::fromTextResuming(const std::string& text, Properties& out, std::vector<std::string>& errors,
                                  std::map<std::string, size_t>* keyLines) {
  PropertiesParser parser(text);
  return parser.parseResuming(out, errors, keyLines);
}

std::ostream& operator<<(std::ostream& out, const Properties& props) {
  props.write(out, 0);
  return out;
}

std::istream& operator>>(std::istream& in, Properties& props) {
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return in;
  // Reading to the end sets eof (and fail when nothing was there); only a parse error fails.
  in.clear(std::ios::eofbit);
  // A UTF-8 byte-order mark is allowed at the start.
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  if (!Properties::fromText(text, props)) in.setstate(std::ios::failbit);
  return in;
}
