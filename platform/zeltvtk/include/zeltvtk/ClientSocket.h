#pragma once
// The participant's end of a connection to a service.
#include "zeltvtk/Socket.h"

namespace zeltvtk {

class ClientSocket : public Socket {
 public:
  static ClientSocket* New();
  vtkTypeMacro(ClientSocket, Socket);

  // Connects within timeoutMs; 0 on success, -1 on failure (GetLastError says why).
  int ConnectToServer(const char* host, int port, int timeoutMs);
  const std::string& GetLastError() const { return this->LastError; }

 protected:
  ClientSocket() = default;
  ~ClientSocket() override = default;
  std::string LastError;

 private:
  ClientSocket(const ClientSocket&) = delete;
  void operator=(const ClientSocket&) = delete;
};

}  // namespace zeltvtk
