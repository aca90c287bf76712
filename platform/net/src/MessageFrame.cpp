#include "MessageFrame.h"

#include <cstring>

constexpr char MessageFrame::MAGIC[4];

namespace {

void putU32(std::string& out, uint32_t v) {
  out += static_cast<char>((v >> 24) & 0xFF);
  out += static_cast<char>((v >> 16) & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
  out += static_cast<char>(v & 0xFF);
}

uint32_t getU32(const unsigned char* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

bool validType(unsigned t) { return t >= MessageFrame::Hello && t <= MessageFrame::Notification; }

}  // namespace

const char* MessageFrame::typeName(Type type) {
  switch (type) {
    case Hello: return "hello";
    case Welcome: return "welcome";
    case Command: return "command";
    case Reply: return "reply";
    case Notification: return "notification";
  }
  return "unknown";
}

std::string MessageFrame::encodeHeader(const Header& header, uint8_t version) {
  std::string out(MAGIC, sizeof MAGIC);
  out += static_cast<char>(version);
  out += static_cast<char>(header.type);
  out += static_cast<char>((header.flags >> 8) & 0xFF);
  out += static_cast<char>(header.flags & 0xFF);
  putU32(out, header.requestId);
  putU32(out, header.nameLength);
  putU32(out, header.bodyLength);
  return out;
}

bool MessageFrame::encode(std::string& bytes, std::string& error, size_t maxBodySize) const {
  if (name.size() > MAX_NAME_LENGTH) {
    error = "message name of " + std::to_string(name.size()) + " bytes exceeds the limit of " +
            std::to_string(MAX_NAME_LENGTH);
    return false;
  }
  std::string text = body.toText();
  if (text.size() > maxBodySize || text.size() > UINT32_MAX) {
    error = "message '" + name + "' of " + std::to_string(text.size()) + " bytes exceeds the limit of " +
            std::to_string(maxBodySize) + " bytes";
    return false;
  }
  Header h;
  h.type = type;
  h.flags = flags;
  h.requestId = requestId;
  h.nameLength = uint32_t(name.size());
  h.bodyLength = uint32_t(text.size());
  bytes = encodeHeader(h);
  bytes.reserve(HEADER_SIZE + name.size() + text.size());
  bytes += name;
  bytes += text;
  return true;
}

bool MessageFrame::decodeHeader(const unsigned char* bytes, size_t maxBodySize, Header& header, std::string& error) {
  if (std::memcmp(bytes, MAGIC, sizeof MAGIC) != 0) {
    error = "malformed message: bad magic (not a message of this protocol)";
    return false;
  }
  if (bytes[4] != VERSION) {
    error = "unsupported protocol version " + std::to_string(unsigned(bytes[4])) + " (expected " +
            std::to_string(unsigned(VERSION)) + ")";
    return false;
  }
  if (!validType(bytes[5])) {
    error = "malformed message: unknown type " + std::to_string(unsigned(bytes[5]));
    return false;
  }
  header.type = static_cast<Type>(bytes[5]);
  header.flags = uint16_t((uint16_t(bytes[6]) << 8) | bytes[7]);
  header.requestId = getU32(bytes + 8);
  header.nameLength = getU32(bytes + 12);
  header.bodyLength = getU32(bytes + 16);
  if (header.nameLength > MAX_NAME_LENGTH) {
    error = "malformed message: name of " + std::to_string(header.nameLength) + " bytes exceeds the limit of " +
            std::to_string(MAX_NAME_LENGTH);
    return false;
  }
  if (header.bodyLength > maxBodySize) {
    error = "oversized message: " + std::to_string(header.bodyLength) + " bytes exceed the limit of " +
            std::to_string(maxBodySize) + " bytes";
    return false;
  }
  return true;
}

bool MessageFrame::decodePayload(const Header& header, const std::string& name, const std::string& body,
                                 MessageFrame& frame, std::string& error) {
  if (name.find('\0') != std::string::npos) {
    error = "malformed message: name holds a NUL byte";
    return false;
  }
  Properties props;
  std::string parseError;
  if (!Properties::fromText(body, props, &parseError)) {
    error = "malformed message '" + name + "': " + parseError;
    return false;
  }
  frame.type = header.type;
  frame.flags = header.flags;
  frame.requestId = header.requestId;
  frame.name = name;
  frame.body = std::move(props);
  return true;
}
