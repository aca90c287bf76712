#pragma once
// Usage analytics, recorded locally: events are kept in memory and, when enabled, appended
// one line each to a log file. Nothing is sent anywhere.
#include <mutex>
#include <string>
#include <vector>

#include "Properties.h"

class ZeltAnalytics {
 public:
  struct Event {
    std::string name;
    Properties properties;
  };

  // Replaces any existing instance. mode 1 records to the log file as well as in memory.
  static ZeltAnalytics* create(const std::string& productId, bool enabled, int mode, const std::string& label);
  // The instance, or null when none was created (or after reset).
  static ZeltAnalytics* has();
  static void reset();

  void logEvent(const std::string& name, const Properties& properties);
  bool isEnabled() const { return _enabled; }
  const std::string& productId() const { return _productId; }
  std::vector<Event> events() const;
  // The log file: "QUONIX_ANALYTICS_LOG" from the environment, else
  // $HOME/.local/share/quonixvr/analytics.log.
  static std::string logFilePath();

 private:
  ZeltAnalytics(std::string productId, bool enabled, int mode, std::string label);
  std::string _productId;
  bool _enabled;
  int _mode;
  std::string _label;
  mutable std::mutex _mutex;  // guards _events; events may be logged from any thread
  std::vector<Event> _events;
};
