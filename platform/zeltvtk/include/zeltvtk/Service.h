#pragma once
// Reaching a service that runs beside a scene server, on the server's own host and port. The
// socket opens with the server's greeting, asking for the service by name:
//   Hello {Role = "service", Protocol = 1, Service = <name>, ConnectionId = <64-bit value>}
//   Welcome {} (or a refusal with the error keys)
// after which the socket belongs to the service's SocketCommunicator framing.
#include <vtkSmartPointer.h>

#include <cstdint>
#include <string>

#include "zeltvtk/ClientSocket.h"

namespace zeltvtk {

inline constexpr const char* ROLE_SERVICE = "service";
inline constexpr const char* HELLO_SERVICE = "Service";

// Connects and greets, each step bounded by timeoutMs. Null on failure, with the reason in error
// when given.
vtkSmartPointer<ClientSocket> connectToService(int64_t value, const std::string& host, int port,
                                               const std::string& serviceName, int timeoutMs,
                                               std::string* error = nullptr);

}  // namespace zeltvtk
