#pragma once
// The process-wide map from handle to drawable session. A session enters itself when it is
// made and leaves when it is destroyed, so no entry outlives its session.
#include <map>
#include <vector>

#include "Lock.h"
#include "kvg/Types.h"

namespace kvg {

class DrawableSession;

class DrawableSessionRegistry {
 public:
  // Enters the session under its handle; an entry for the handle is overwritten.
  void registerSession(DrawableSession* session);
  // Removes the entry of the session's handle when it holds this session.
  void unregisterSession(DrawableSession* session);
  DrawableSession* findSession(Handle handle) const;
  bool hasSession(Handle handle) const { return findSession(handle) != nullptr; }
  size_t size() const;
  std::vector<Handle> getHandles() const;

 private:
  mutable Lock _lock;  // any thread may look up or change the map
  std::map<Handle, DrawableSession*> _sessions;
};

}  // namespace kvg
