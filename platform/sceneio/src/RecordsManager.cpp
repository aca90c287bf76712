#include "RecordsManager.h"

#include "kvg/SDBReader.h"

RecordsManager::RecordsManager(kvg::SDBReader* reader) {
  if (!reader || !reader->isOpen()) return;
  for (int s = 0; s < reader->getFramesetCount(); ++s) {
    _titles.push_back(reader->getFramesetTitle(s));
    _records.emplace_back();
    for (int f = 0; f < reader->getFrameCount(s); ++f) {
      Properties record;
      reader->getFrameRecord(s, f, record);
      _records.back().push_back(record);
    }
  }
}

int RecordsManager::framesCount(int frameset) const {
  return frameset >= 0 && frameset < framesetsCount() ? int(_records[size_t(frameset)].size()) : 0;
}

bool RecordsManager::getFrame(int frameset, int frame, Properties& record) const {
  if (frame < 0 || frame >= framesCount(frameset)) {
    record.clear();
    return false;
  }
  record = _records[size_t(frameset)][size_t(frame)];
  return true;
}

Properties RecordsManager::getFrame(int frameset, int frame) const {
  Properties record;
  getFrame(frameset, frame, record);
  return record;
}

std::string RecordsManager::getFramesetTitle(int frameset) const {
  return frameset >= 0 && frameset < framesetsCount() ? _titles[size_t(frameset)] : std::string();
}
