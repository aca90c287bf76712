#pragma once
// The error convention of server replies: a failed command's reply carries an error code under
// ERROR_TAG and the text meant for the user under MESSAGE_TAG. The client fills a reply the same
// way when the failure is its own (no connection, time-out, a broken message), so a caller reads
// every failure from one place.
#include <string>

#include "Properties.h"

class Error {
 public:
  static const char* const ERROR_TAG;    // "Error": integer code
  static const char* const MESSAGE_TAG;  // "ErrorMessage": text

  enum Code {
    COMMAND_FAILED = 1,     // the server could not do what was asked
    UNKNOWN_COMMAND = 2,    // the server has no such command
    NOT_CONNECTED = 3,      // no socket, or it could not be created
    TIMED_OUT = 4,          // no reply within the connection's time-out
    CONNECTION_LOST = 5,    // the peer closed or the socket failed
    PROTOCOL_ERROR = 6      // a malformed, oversized, truncated or unexpected message
  };

  // Marks the reply as failed with the code and message; other entries stay.
  static void set(Properties& reply, int code, const std::string& message);
  static bool isError(const Properties& reply);
  static int getCode(const Properties& reply);
  static std::string getMessage(const Properties& reply);
};
