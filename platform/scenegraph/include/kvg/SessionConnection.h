#pragma once
// A source a drawable session can be started on: a server connection that streams the
// server's scene into the session and then keeps queueing its updates as update tasks, with
// positions that mean the same update in every session started on the same server.
namespace kvg {

class DrawableSession;

class SessionConnection {
 public:
  virtual ~SessionConnection() = default;
  // Starts streaming into the session; false when the source cannot serve it.
  virtual bool startSession(DrawableSession& session) = 0;
  // Stops every delivery to the session and returns only when none is under way. Called by the
  // session before it goes, and before a restart on another source; must be safe to call when
  // nothing was started.
  virtual void stopSession(DrawableSession& session) = 0;
  // How long, in milliseconds, the session's executeNextUpdateTask may wait for a task while
  // the scene's first download is still on its way (the session's own update-task wait applies
  // when this is shorter). The owner thread asks; 0 by default.
  virtual int getDownloadWait(const DrawableSession& session) const {
    (void)session;
    return 0;
  }
};

}  // namespace kvg
