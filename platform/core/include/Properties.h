#pragma once
// Property set: named, typed, possibly nested values. Carries the configuration,
// server-command arguments and replies, and scene-file records.
//
// Text form (also what operator<< writes and operator>> reads):
//   # comment (also ';' or '//')
//   count = 42                  integer
//   factor = 1.5                real (inf, -inf and nan are reals too)
//   enabled = true              flag (true / false)
//   name = "text \"quoted\""    string; escapes \" \\ \n \r \t \uXXXX
//   file = hex-texture.png      a bare word is a string too
//   colorRGB = [0, 0.37, 1]     list of reals
//   names = ["a", "b"]          list of strings
//   camera { up = [0, 1, 0] }   nested set
// Keys are runs of letters, digits and "_.-:/" or a quoted string.
// Lines may end in CRLF.

#include <cstdint>
#include <istream>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

class Properties {
 public:
  // How set() treats a value already stored under the key.
  enum Mode {
    Replace = 0,  // store the value, whatever was there
    Append = 1    // append to a list already stored under the key, else store
  };

  enum class Type { None, Bool, Int, Real, String, RealList, StringList, Nested };

  Properties();
  Properties(const Properties& other);
  Properties(Properties&& other) noexcept;
  Properties& operator=(const Properties& other);
  Properties& operator=(Properties&& other) noexcept;
  ~Properties();

  bool hasName(const std::string& key) const;
  Type typeOf(const std::string& key) const;
  std::vector<std::string> names() const;  // in insertion order
  size_t size() const;
  bool empty() const { return size() == 0; }
  bool remove(const std::string& key);
  void clear();

  // Getters convert between scalar types where that is meaningful (int <-> real <-> bool,
  // a numeric string to a number). A missing or unconvertible value reads as 0 / false / "".
  double getReal(const std::string& key) const;
  int getInt(const std::string& key) const;
  int64_t getInt64(const std::string& key) const;
  bool getBool(const std::string& key) const;
  std::string getString(const std::string& key) const;
  // Fills the vector (appending) and returns false when the value is missing or not a list
  // of that kind; a scalar reads as a list of one.
  bool get(const std::string& key, std::vector<double>& values) const;
  bool get(const std::string& key, std::vector<std::string>& values) const;
  Properties getProperties(const std::string& key) const;

  // Checked conversions: false when the key is missing or the value does not convert.
  bool tryGetReal(const std::string& key, double& value) const;
  bool tryGetInt(const std::string& key, int64_t& value) const;
  bool tryGetBool(const std::string& key, bool& value) const;

  void set(const std::string& key, const std::string& value, Mode mode = Replace);
  void set(const std::string& key, const char* value, Mode mode = Replace);
  void set(const std::string& key, bool value, Mode mode = Replace);
  void set(const std::string& key, int value, Mode mode = Replace);
  void set(const std::string& key, int64_t value, Mode mode = Replace);
  void set(const std::string& key, double value, Mode mode = Replace);
  void set(const std::string& key, const std::vector<double>& values, Mode mode = Replace);
  void set(const std::string& key, const std::vector<std::string>& values, Mode mode = Replace);
  void set(const std::string& key, const Properties& nested, Mode mode = Replace);

  // Every name of other reads with other's value afterwards; names only here keep theirs.
  void merge(const Properties& other);

  bool operator==(const Properties& other) const;
  bool operator!=(const Properties& other) const { return !(*this == other); }

  // Text form; toText() ends every entry with '\n'.
  std::string toText() const;
  // Parses text into a fresh set; false (and what was parsed so far) on malformed input.
  static bool fromText(const std::string& text, Properties& out, std::string* error = nullptr);
  // uniqueKeys: a key given twice in one set is an error instead of replacing the first value
  // (documents where a repeated block would silently lose data).
  static bool fromText(const std::string& text, Properties& out, std::string* error, bool uniqueKeys);
  // For hand-edited files: a malformed top-level entry is reported ("line N: reason" in errors)
  // and reading goes on at the next line, so one bad line loses only itself. keyLines, when
  // given, gets the line of each top-level key. True when nothing was malformed.
  static bool fromTextResuming(const std::string& text, Properties& out, std::vector<std::string>& errors,
                               std::map<std::string, size_t>* keyLines = nullptr);

  // Quotes a string as the text form writes it.
  static std::string quote(const std::string& text);

 private:
  struct Value;
  struct Entry;
  struct Store;
  Store* _store;  // owned; the entries in insertion order and an index by key

  const Value* find(const std::string& key) const;
  Value& slot(const std::string& key);
  void write(std::ostream& out, int indent) const;
  friend std::ostream& operator<<(std::ostream& out, const Properties& props);
  friend class PropertiesParser;
};

// Reads the text form to the end of the stream (or a closing '}' at top level is an error).
// On malformed input the stream's failbit is set; entries parsed before the error stay.
std::istream& operator>>(std::istream& in, Properties& props);
std::ostream& operator<<(std::ostream& out, const Properties& props);
