#include "zeltvtk/ArrayFrame.h"

#include <cstring>

#include "Socket.h"

namespace zeltvtk {

namespace {

const char MAGIC[4] = {'Z', 'V', 'T', 'A'};
const char HANDSHAKE_MAGIC[8] = {'Z', 'V', 'T', 'K', 'H', 'A', 'N', 'D'};
constexpr uint32_t HANDSHAKE_VERSION = 1;
constexpr uint32_t BYTE_ORDER_MARK = 0x01020304;

void putU32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(char((v >> (8 * i)) & 0xFF));
}

uint32_t getU32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

std::string handshakeBytes() {
  std::string bytes(HANDSHAKE_MAGIC, 8);
  putU32(bytes, HANDSHAKE_VERSION);
  putU32(bytes, BYTE_ORDER_MARK);
  return bytes;
}

bool checkHandshake(const unsigned char* got, std::string& error) {
  if (std::memcmp(got, HANDSHAKE_MAGIC, 8) != 0) {
    error = "the peer is no collaborative service endpoint";
    return false;
  }
  if (getU32(got + 8) != HANDSHAKE_VERSION) {
    error = "the peer speaks handshake version " + std::to_string(getU32(got + 8));
    return false;
  }
  if (getU32(got + 12) != BYTE_ORDER_MARK) {
    error = "the peer uses another byte order";
    return false;
  }
  return true;
}

const char* resultText(Socket::Result r) {
  switch (r) {
    case Socket::Result::TimedOut: return "timed out";
    case Socket::Result::Closed: return "the peer closed the connection";
    case Socket::Result::Failed: return "socket error";
    default: return "ok";
  }
}

}  // namespace

namespace ArrayFrame {

void encode(const std::string& name, const unsigned char* bytes, size_t count, uint32_t tag, std::string& out) {
  out.append(MAGIC, 4);
  out.push_back(char(VERSION));
  out.push_back(char(UNSIGNED_CHAR_TYPE));
  out.push_back(0);
  out.push_back(0);
  putU32(out, tag);
  putU32(out, uint32_t(name.size()));
  putU32(out, uint32_t(count));
  out += name;
  if (count) out.append(reinterpret_cast<const char*>(bytes), count);
}

bool decodeHeader(const unsigned char* h, size_t maxBytes, uint32_t& tag, uint32_t& nameLength, uint32_t& byteCount,
                  std::string& error) {
  if (std::memcmp(h, MAGIC, 4) != 0) {
    error = "bad magic: not an array frame";
    return false;
  }
  if (h[4] != VERSION) {
    error = "unsupported frame version " + std::to_string(h[4]);
    return false;
  }
  if (h[5] != UNSIGNED_CHAR_TYPE) {
    error = "the frame carries no unsigned-char array (type " + std::to_string(h[5]) + ")";
    return false;
  }
  if (h[6] != 0 || h[7] != 0) {
    error = "reserved header bytes are not zero";
    return false;
  }
  tag = getU32(h + 8);
  nameLength = getU32(h + 12);
  byteCount = getU32(h + 16);
  if (nameLength > MAX_NAME_LENGTH) {
    error = "array name of " + std::to_string(nameLength) + " bytes exceeds " + std::to_string(MAX_NAME_LENGTH);
    return false;
  }
  if (byteCount > maxBytes) {
    error = "array of " + std::to_string(byteCount) + " bytes exceeds the cap of " + std::to_string(maxBytes);
    return false;
  }
  return true;
}

Parse decode(const unsigned char* data, size_t size, size_t maxBytes, ArrayMessage& out, size_t& consumed,
             std::string& error) {
  if (size < HEADER_SIZE) return Parse::Incomplete;
  uint32_t tag, nameLength, byteCount;
  if (!decodeHeader(data, maxBytes, tag, nameLength, byteCount, error)) return Parse::Malformed;
  const size_t total = HEADER_SIZE + size_t(nameLength) + size_t(byteCount);
  if (size < total) return Parse::Incomplete;
  out.tag = tag;
  out.name.assign(reinterpret_cast<const char*>(data + HEADER_SIZE), nameLength);
  out.bytes.assign(data + HEADER_SIZE + nameLength, data + total);
  consumed = total;
  return Parse::Complete;
}

Status read(::Socket& socket, ArrayMessage& out, int idleMs, int frameMs, size_t maxBytes, std::string& error) {
  Socket::Result r = socket.waitReadable(idleMs, error);
  if (r == Socket::Result::TimedOut) return Status::Idle;
  if (r != Socket::Result::Ok) return r == Socket::Result::Closed ? Status::Closed : Status::Failed;
  unsigned char header[HEADER_SIZE];
  size_t received = 0;
  r = socket.receiveAll(header, HEADER_SIZE, frameMs, error, &received);
  if (r != Socket::Result::Ok) {
    if (r == Socket::Result::Closed && received == 0) return Status::Closed;
    error = std::string("array frame header: ") + resultText(r) + (error.empty() ? "" : ": " + error);
    return Status::Failed;
  }
  uint32_t tag, nameLength, byteCount;
  if (!decodeHeader(header, maxBytes, tag, nameLength, byteCount, error)) return Status::Failed;
  std::string name(nameLength, '\0');
  if (nameLength) r = socket.receiveAll(&name[0], nameLength, frameMs, error);
  std::vector<unsigned char> bytes(byteCount);
  if (r == Socket::Result::Ok && byteCount) r = socket.receiveAll(bytes.data(), byteCount, frameMs, error);
  if (r != Socket::Result::Ok) {
    error = std::string("array frame ends early: ") + resultText(r);
    return Status::Failed;
  }
  out.tag = tag;
  out.name = std::move(name);
  out.bytes = std::move(bytes);
  return Status::Ok;
}

Status writeFramed(::Socket& socket, const std::string& frames, int timeoutMs, std::string& error) {
  Socket::Result r = socket.sendAll(frames.data(), frames.size(), timeoutMs, error);
  if (r == Socket::Result::Ok) return Status::Ok;
  if (error.empty()) error = resultText(r);
  return r == Socket::Result::Closed ? Status::Closed : Status::Failed;
}

}  // namespace ArrayFrame

namespace Handshake {

bool initiate(::Socket& socket, int timeoutMs, std::string& error) {
  const std::string mine = handshakeBytes();
  if (socket.sendAll(mine.data(), mine.size(), timeoutMs, error) != Socket::Result::Ok) {
    error = "handshake: cannot send: " + error;
    return false;
  }
  unsigned char got[SIZE];
  Socket::Result r = socket.receiveAll(got, SIZE, timeoutMs, error);
  if (r != Socket::Result::Ok) {
    error = std::string("handshake: no answer: ") + resultText(r);
    return false;
  }
  return checkHandshake(got, error);
}

bool respond(::Socket& socket, int timeoutMs, std::string& error) {
  unsigned char got[SIZE];
  Socket::Result r = socket.receiveAll(got, SIZE, timeoutMs, error);
  if (r != Socket::Result::Ok) {
    error = std::string("handshake: nothing received: ") + resultText(r);
    return false;
  }
  if (!checkHandshake(got, error)) return false;
  const std::string mine = handshakeBytes();
  if (socket.sendAll(mine.data(), mine.size(), timeoutMs, error) != Socket::Result::Ok) {
    error = "handshake: cannot answer: " + error;
    return false;
  }
  return true;
}

}  // namespace Handshake

}  // namespace zeltvtk
