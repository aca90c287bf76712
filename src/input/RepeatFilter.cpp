#include "RepeatFilter.h"

bool RepeatFilter::changed(const std::string& subject, const std::string& text) {
  std::lock_guard<std::mutex> lock(_mutex);
  auto found = _last.find(subject);
  if (found != _last.end() && found->second == text) return false;
  _last[subject] = text;
  return true;
}

RepeatFilter& RepeatFilter::console() {
  static RepeatFilter filter;
  return filter;
}
