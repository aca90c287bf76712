#pragma once
// The framing of the collaborative service's sockets: every message is one named array of
// unsigned chars. Shared by the client side (SocketCommunicator) and the service.
//
//   offset size field (little-endian)
//        0    4 magic "ZVTA"
//        4    1 version (1)
//        5    1 element type (3: unsigned char, the only one carried)
//        6    2 zero
//        8    4 tag
//       12    4 name length (at most MAX_NAME_LENGTH)
//       16    4 byte count (at most the reader's cap)
//       20      name, then the bytes
//
// The reader checks the whole header before it allocates anything.
//
// Handshake, right after the socket is handed over: the initiating side sends 16 bytes
// ("ZVTKHAND", version 1, the byte-order mark 0x01020304, little-endian), the responding side
// checks them and answers with the same 16 bytes, which the initiator checks in turn.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class Socket;

namespace zeltvtk {

struct ArrayMessage {
  std::string name;
  std::vector<unsigned char> bytes;
  uint32_t tag = 0;
};

namespace ArrayFrame {

constexpr size_t HEADER_SIZE = 20;
constexpr size_t MAX_NAME_LENGTH = 4096;
constexpr size_t DEFAULT_MAX_BYTES = size_t(16) << 20;
constexpr unsigned char VERSION = 1;
constexpr unsigned char UNSIGNED_CHAR_TYPE = 3;

// Appends the frame of one array to out.
void encode(const std::string& name, const unsigned char* bytes, size_t count, uint32_t tag, std::string& out);
// Checks a header; false with the reason.
bool decodeHeader(const unsigned char* header, size_t maxBytes, uint32_t& tag, uint32_t& nameLength,
                  uint32_t& byteCount, std::string& error);

enum class Parse { Complete, Incomplete, Malformed };
// One frame from the start of a buffer: Complete fills out and consumed; Incomplete when the
// buffer ends before the frame does; Malformed with the reason.
Parse decode(const unsigned char* data, size_t size, size_t maxBytes, ArrayMessage& out, size_t& consumed,
             std::string& error);

enum class Status {
  Ok,
  Idle,    // read: no frame began within the idle time-out
  Closed,  // the peer closed between frames (or the socket was shut down)
  Failed   // time-out inside a frame, malformed frame, socket error
};
// Waits up to idleMs (-1: no bound) for a frame to begin, then reads it with each further wait
// bounded by frameMs.
Status read(::Socket& socket, ArrayMessage& out, int idleMs, int frameMs, size_t maxBytes, std::string& error);
// Writes bytes already framed; each wait for buffer space is bounded by timeoutMs.
Status writeFramed(::Socket& socket, const std::string& frames, int timeoutMs, std::string& error);

}  // namespace ArrayFrame

namespace Handshake {
constexpr size_t SIZE = 16;
// The side that speaks first (the service).
bool initiate(::Socket& socket, int timeoutMs, std::string& error);
// The side that answers (the participant).
bool respond(::Socket& socket, int timeoutMs, std::string& error);
}  // namespace Handshake

}  // namespace zeltvtk
