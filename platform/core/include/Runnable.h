#pragma once

// Work run once by a Thread. stop() asks a running run() to return; the default does nothing.
class Runnable {
 public:
  virtual ~Runnable() = default;
  virtual void run() = 0;
  virtual void stop() {}
};
