#include "kvg/DrawableSessionRegistry.h"

#include "kvg/DrawableSession.h"

namespace kvg {

void DrawableSessionRegistry::registerSession(DrawableSession* session) {
  if (!session) return;
  Lock::AutoLock guard(_lock);
  _sessions[session->getHandle()] = session;
}

void DrawableSessionRegistry::unregisterSession(DrawableSession* session) {
  if (!session) return;
  Lock::AutoLock guard(_lock);
  auto it = _sessions.find(session->getHandle());
  if (it != _sessions.end() && it->second == session) _sessions.erase(it);
}

DrawableSession* DrawableSessionRegistry::findSession(Handle handle) const {
  Lock::AutoLock guard(_lock);
  auto it = _sessions.find(handle);
  return it == _sessions.end() ? nullptr : it->second;
}

size_t DrawableSessionRegistry::size() const {
  Lock::AutoLock guard(_lock);
  return _sessions.size();
}

std::vector<Handle> DrawableSessionRegistry::getHandles() const {
  Lock::AutoLock guard(_lock);
  std::vector<Handle> out;
  for (const auto& e : _sessions) out.push_back(e.first);
  return out;
}

}  // namespace kvg
