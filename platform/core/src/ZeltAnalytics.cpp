#include "ZeltAnalytics.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sys/stat.h>

namespace {
std::mutex g_instanceMutex;  // guards g_instance
std::unique_ptr<ZeltAnalytics> g_instance;

void makeParents(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
    mkdir(path.substr(0, slash).c_str(), 0755);
}
}  // namespace

ZeltAnalytics::ZeltAnalytics(std::string productId, bool enabled, int mode, std::string label)
    : _productId(std::move(productId)), _enabled(enabled), _mode(mode), _label(std::move(label)) {}

ZeltAnalytics* ZeltAnalytics::create(const std::string& productId, bool enabled, int mode, const std::string& label) {
  std::lock_guard<std::mutex> lock(g_instanceMutex);
  g_instance.reset(new ZeltAnalytics(productId, enabled, mode, label));
  return g_instance.get();
}

ZeltAnalytics* ZeltAnalytics::has() {
  std::lock_guard<std::mutex> lock(g_instanceMutex);
  return g_instance.get();
}

void ZeltAnalytics::reset() {
  std::lock_guard<std::mutex> lock(g_instanceMutex);
  g_instance.reset();
}

std::string ZeltAnalytics::logFilePath() {
  if (const char* env = std::getenv("QUONIX_ANALYTICS_LOG"); env && *env) return env;
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/tmp") + "/.local/share/quonixvr/analytics.log";
}

void ZeltAnalytics::logEvent(const std::string& name, const Properties& properties) {
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _events.push_back(Event{name, properties});
  }
  if (!_enabled || _mode != 1) return;
  const std::string path = logFilePath();
  makeParents(path);
  std::ofstream out(path, std::ios::app);
  if (!out) return;  // analytics never disturbs the program
  const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                       std::chrono::system_clock::now().time_since_epoch()).count();
  Properties record;
  record.set("time", int64_t(now));
  record.set("product", _productId);
  record.set("label", _label);
  record.set("event", name);
  record.set("properties", properties);
  std::string text = record.toText();
  for (char& c : text)
    if (c == '\n') c = ' ';
  out << text << '\n';
}

std::vector<ZeltAnalytics::Event> ZeltAnalytics::events() const {
  std::lock_guard<std::mutex> lock(_mutex);
  return _events;
}
