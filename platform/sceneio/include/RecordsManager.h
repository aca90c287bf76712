#pragma once
// The frame sets and frames of an open scene reader, as records. Indices out of range never
// fail hard: counts read 0 and records empty.
#include <vector>

#include "Properties.h"

namespace kvg {
class SDBReader;
}

class RecordsManager {
 public:
  // Takes the reader's records as they are now; a reader that is not open gives none.
  explicit RecordsManager(kvg::SDBReader* reader);
  explicit RecordsManager(kvg::SDBReader& reader) : RecordsManager(&reader) {}

  int framesetsCount() const { return int(_records.size()); }
  // 0 for an index out of range.
  int framesCount(int frameset) const;
  // The frame record: "Title" (the frame set's title), "Description" when the frame has one,
  // "Time" when it has one, "FrameSet" and "Frame". Empty for indices out of range.
  Properties getFrame(int frameset, int frame) const;
  bool getFrame(int frameset, int frame, Properties& record) const;
  // The frame set's title, also for a set without frames; empty out of range.
  std::string getFramesetTitle(int frameset) const;

 private:
  std::vector<std::string> _titles;
  std::vector<std::vector<Properties>> _records;
};
