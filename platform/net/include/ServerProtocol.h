#pragma once
// Names shared by the client connection and the simulation server beyond the commands themselves:
// the greeting that opens every socket and the default port.
//
// Every socket starts with a Hello frame whose body says its role; the server answers Welcome.
//   command socket:       Hello {Role = "command", Protocol = 1, Client = "..."}
//                         Welcome {ConnectionId = <64-bit value>}
//   notification socket:  Hello {Role = "notify", Protocol = 1, ConnectionId = <of the command socket>}
//                         Welcome {}
// A refused greeting is a Welcome carrying Error::ERROR_TAG and Error::MESSAGE_TAG.

namespace ServerProtocol {

inline constexpr int DEFAULT_PORT = 47827;
inline constexpr int VERSION = 1;

inline constexpr const char* HELLO_ROLE = "Role";
inline constexpr const char* HELLO_PROTOCOL = "Protocol";
inline constexpr const char* HELLO_CLIENT = "Client";
inline constexpr const char* HELLO_CONNECTION_ID = "ConnectionId";
inline constexpr const char* ROLE_COMMAND = "command";
inline constexpr const char* ROLE_NOTIFY = "notify";

// Key of a failed command-socket creation's reply: the text shown to the user.
inline constexpr const char* SOCKET_MESSAGE = "message";

}  // namespace ServerProtocol
