#pragma once
// Reads the simulated headset's script (format: README, "Running without a headset") into a
// timeline of actions on the SimWorld, keyed by the pose frame at which each applies.
#include <map>
#include <string>
#include <vector>

#include "SimWorld.h"

namespace vrsim {

class ScriptParser {
 public:
  using Timeline = std::multimap<uint64_t, SimWorld::Action>;

  // Parses text; a line with an error is skipped and reported as "sourceName:line: message".
  static Timeline parse(const std::string& text, const std::string& sourceName,
                        std::vector<std::string>& errors);

  // Splits a line into words: blanks separate, "double quotes" keep blanks (with \" and \\),
  // and '#' outside quotes starts a comment. False (with a message) on an open quote.
  static bool tokenize(const std::string& line, std::vector<std::string>& words, std::string& error);
};

}  // namespace vrsim
