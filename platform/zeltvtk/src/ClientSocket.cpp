#include "zeltvtk/ClientSocket.h"

#include <vtkObjectFactory.h>

namespace zeltvtk {

vtkStandardNewMacro(ClientSocket);

int ClientSocket::ConnectToServer(const char* host, int port, int timeoutMs) {
  ::Socket stream;
  this->LastError.clear();
  if (!stream.connect(host ? host : "", port, timeoutMs, this->LastError)) return -1;
  this->SetStream(std::move(stream));
  return 0;
}

}  // namespace zeltvtk
