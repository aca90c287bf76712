#pragma once
// Faults that the server injects on purpose, so that every client error path can be produced by a
// real failure over a real socket.
//
// A rule reads MODE=NAME[@FROM][#TIMES]: apply MODE to occurrences FROM, FROM+1, ... (TIMES of
// them; all when #TIMES is absent) of the command or notification NAME, counted from 1 since the
// server started. NAME "*" matches every command. The greetings count under the names
// ":command-socket" and ":notify-socket".
//
// Modes:
//   refuse     answer with the error keys (a greeting: refuse the socket)
//   omit       answer success with an empty property set
//   silent     never answer (the socket stays open); a notification is not sent
//   die        end the server process at once, without answering (exit code 3)
//   truncate   send the first half of the answer, then end the process (exit code 3)
//   garbage    send bytes that are no message of the protocol instead of the answer
//   oversized  send a header announcing a body far beyond any size cap, and nothing else
//   badversion send the answer with an unknown protocol version
//   badbody    send a well-framed answer whose body is not a property set
//   trickle    send the answer one byte every 500 ms (each byte well inside a read time-out)
//   stall      hold the answer (a greeting's too) for the server's stall time, then send it
//   sever      (":collab-join" only) the collaborative service's receiving side ends: every
//              participant's connections are cut; the service takes new ones as before
//   lag        (":collab-shared" only) an accepted shared state reaches the participants 300 ms late
//
// Threads: next() may be called from any thread (a mutex guards the counters).
#include <mutex>
#include <string>
#include <vector>

class FaultPlan {
 public:
  enum class Mode { None, Refuse, Omit, Silent, Die, Truncate, Garbage, Oversized, BadVersion, BadBody, Trickle,
                    Stall, Sever, Lag };

  struct Rule {
    Mode mode = Mode::None;
    std::string name;
    long from = 1;
    long times = -1;  // -1: no end
    long seen = 0;    // occurrences counted so far
  };

  static bool parseRule(const std::string& text, Rule& rule, std::string& error);
  static const char* modeName(Mode mode);

  void add(const Rule& rule);
  bool empty() const;
  // Counts one occurrence of name for every rule that matches it and returns the mode of the
  // first rule whose range holds that occurrence, or None.
  Mode next(const std::string& name);

 private:
  mutable std::mutex _mutex;
  std::vector<Rule> _rules;
};
