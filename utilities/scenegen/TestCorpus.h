#pragma once
#include <string>

namespace scenegen {

// Writes the scene files the tests read: good scenes of every shape, faulty ones of every
// kind the reader must refuse, and crafted archives the unpacker must refuse.
void writeTestCorpus(const std::string& folder);

}  // namespace scenegen
