#pragma once
// The server's journal of what it received: one line per command (and per socket event), written
// and flushed at once so that a test can read it while the server runs.
//
// Line format (fields separated by one tab):
//   <connection id> TAB <name> TAB <arguments>
// connection id: the 64-bit value the command socket was given (decimal).
// name: the command name, or a socket event starting with ':':
//   ":command-socket"  a command socket was greeted (arguments: the greeting)
//   ":notify-socket"   a notification socket was attached to the connection
//   ":disconnect"      the command socket ended
// arguments: the command's property set on one line, readable with Properties::fromText
//   (entries separated by ", ", nested sets as "key { ... }"); empty when there are none.
//
// Threads: any thread may write; a mutex keeps lines whole.
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "Properties.h"

class CommandJournal {
 public:
  CommandJournal() = default;
  ~CommandJournal();
  CommandJournal(const CommandJournal&) = delete;
  CommandJournal& operator=(const CommandJournal&) = delete;

  // Creates (truncates) the file; without a successful open, write() does nothing.
  bool open(const std::string& path, std::string& error);
  void write(int64_t connectionId, const std::string& name, const Properties& arguments);
  void close();

  // The property set on one line, as the journal writes it.
  static std::string oneLine(const Properties& props);

 private:
  std::mutex _mutex;  // guards _file
  std::FILE* _file = nullptr;
};
