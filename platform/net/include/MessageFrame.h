#pragma once
// One message on a server socket: a fixed header, a name and a property set in its text form.
//
// Wire layout (integers big-endian):
//   offset  size  field
//        0     4  magic "QXMF"
//        4     1  protocol version (1)
//        5     1  type (Type below)
//        6     2  flags (Flags below)
//        8     4  request id (a reply repeats the id of its command)
//       12     4  name length in bytes, at most MAX_NAME_LENGTH
//       16     4  body length in bytes, at most the reader's cap
//       20        name (UTF-8), then body (Properties text form, UTF-8)
// A reader checks the header before it allocates anything, so a hostile length costs nothing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "Properties.h"

class MessageFrame {
 public:
  enum Type : uint8_t {
    Hello = 1,         // client -> server, first frame on a socket: which role the socket plays
    Welcome = 2,       // server -> client, answer to Hello (error keys when refused)
    Command = 3,       // client -> server
    Reply = 4,         // server -> client, answer to a Command
    Notification = 5   // server -> client on a notification socket
  };
  enum Flags : uint16_t {
    NoResponse = 1  // a Command the server must not answer
  };

  static constexpr char MAGIC[4] = {'Q', 'X', 'M', 'F'};
  static constexpr uint8_t VERSION = 1;
  static constexpr size_t HEADER_SIZE = 20;
  static constexpr uint32_t MAX_NAME_LENGTH = 1024;
  static constexpr size_t DEFAULT_MAX_BODY_SIZE = 64u * 1024u * 1024u;

  // What the header announces; filled by decodeHeader.
  struct Header {
    Type type = Command;
    uint16_t flags = 0;
    uint32_t requestId = 0;
    uint32_t nameLength = 0;
    uint32_t bodyLength = 0;
  };

  MessageFrame() = default;
  MessageFrame(Type type, std::string name, Properties body, uint32_t requestId = 0, uint16_t flags = 0)
      : type(type), flags(flags), requestId(requestId), name(std::move(name)), body(std::move(body)) {}

  Type type = Command;
  uint16_t flags = 0;
  uint32_t requestId = 0;
  std::string name;
  Properties body;

  // The whole frame as bytes. False (and an error) when the name is too long or the body's text
  // exceeds maxBodySize, so that an oversized message is refused before it goes out.
  bool encode(std::string& bytes, std::string& error, size_t maxBodySize = DEFAULT_MAX_BODY_SIZE) const;
  // Builds a header's bytes without checks; for tests and fault injection that need a bad frame.
  static std::string encodeHeader(const Header& header, uint8_t version = VERSION);

  // Checks HEADER_SIZE bytes: magic, version, type, name length and body length against the cap.
  static bool decodeHeader(const unsigned char* bytes, size_t maxBodySize, Header& header, std::string& error);
  // Completes a frame from a checked header and the name and body bytes that followed it.
  static bool decodePayload(const Header& header, const std::string& name, const std::string& body,
                            MessageFrame& frame, std::string& error);

  static const char* typeName(Type type);
};
