#include "FaultPlan.h"

#include <cstdlib>

namespace {

struct ModeName {
  FaultPlan::Mode mode;
  const char* name;
};

const ModeName kModes[] = {
    {FaultPlan::Mode::Refuse, "refuse"},       {FaultPlan::Mode::Omit, "omit"},
    {FaultPlan::Mode::Silent, "silent"},       {FaultPlan::Mode::Die, "die"},
    {FaultPlan::Mode::Truncate, "truncate"},   {FaultPlan::Mode::Garbage, "garbage"},
    {FaultPlan::Mode::Oversized, "oversized"}, {FaultPlan::Mode::BadVersion, "badversion"},
    {FaultPlan::Mode::BadBody, "badbody"},     {FaultPlan::Mode::Trickle, "trickle"},
    // A step that answers, but late.
    {FaultPlan::Mode::Stall, "stall"},
    {FaultPlan::Mode::Sever, "sever"},         {FaultPlan::Mode::Lag, "lag"},
};

bool parseCount(const std::string& text, long& value) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  value = std::strtol(text.c_str(), nullptr, 10);
  return value >= 1;
}

}  // namespace

const char* FaultPlan::modeName(Mode mode) {
  for (const ModeName& m : kModes)
    if (m.mode == mode) return m.name;
  return "none";
}

bool FaultPlan::parseRule(const std::string& text, Rule& rule, std::string& error) {
  error = "invalid fault '" + text + "': ";
  size_t eq = text.find('=');
  if (eq == std::string::npos) {
    error += "expected MODE=NAME[@FROM][#TIMES]";
    return false;
  }
  std::string mode = text.substr(0, eq);
  std::string rest = text.substr(eq + 1);
  rule = Rule();
  for (const ModeName& m : kModes)
    if (mode == m.name) rule.mode = m.mode;
  if (rule.mode == Mode::None) {
    error += "unknown mode '" + mode + "'";
    return false;
  }
  size_t hash = rest.rfind('#');
  if (hash != std::string::npos) {
    if (!parseCount(rest.substr(hash + 1), rule.times)) {
      error += "#TIMES must be a positive number";
      return false;
    }
    rest.erase(hash);
  }
  size_t at = rest.rfind('@');
  if (at != std::string::npos) {
    if (!parseCount(rest.substr(at + 1), rule.from)) {
      error += "@FROM must be a positive number";
      return false;
    }
    rest.erase(at);
  }
  if (rest.empty()) {
    error += "missing command name";
    return false;
  }
  rule.name = rest;
  error.clear();
  return true;
}

void FaultPlan::add(const Rule& rule) {
  std::lock_guard<std::mutex> lock(_mutex);
  _rules.push_back(rule);
}

bool FaultPlan::empty() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _rules.empty();
}

FaultPlan::Mode FaultPlan::next(const std::string& name) {
  std::lock_guard<std::mutex> lock(_mutex);
  Mode result = Mode::None;
  for (Rule& rule : _rules) {
    // "*" stands for the commands, not for the greetings.
    bool matches = rule.name == name || (rule.name == "*" && !name.empty() && name[0] != ':');
    if (!matches) continue;
    ++rule.seen;
    bool inRange = rule.seen >= rule.from && (rule.times < 0 || rule.seen < rule.from + rule.times);
    if (inRange && result == Mode::None) result = rule.mode;
  }
  return result;
}
