#include "kvg/Node.h"

#include <atomic>

namespace kvg {

namespace {
std::atomic<uint64_t> globalMTime{0};
}

uint64_t Node::nextMTime() { return globalMTime.fetch_add(1, std::memory_order_relaxed) + 1; }

Node::Node() : _mTime(nextMTime()) {}

Node::~Node() = default;

void Node::setName(const std::string& name) {
  if (name == _name) return;
  _name = name;
  modified();
}

void Node::modified() { _mTime = nextMTime(); }

}  // namespace kvg
