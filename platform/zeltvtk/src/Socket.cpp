#include "zeltvtk/Socket.h"

#include <sys/socket.h>

#include <vtkObjectFactory.h>

namespace zeltvtk {

vtkStandardNewMacro(Socket);

Socket::Socket() = default;

Socket::~Socket() { this->CloseSocket(); }

void Socket::PrintSelf(ostream& os, vtkIndent indent) {
  this->Superclass::PrintSelf(os, indent);
  os << indent << "Descriptor: " << this->GetSocketDescriptor() << "\n";
}

int Socket::GetSocketDescriptor() {
  std::lock_guard<std::mutex> lock(this->DescriptorMutex);
  return this->Stream.fd();
}

int Socket::Shutdown(int how) {
  std::lock_guard<std::mutex> lock(this->DescriptorMutex);
  if (!this->Stream.isOpen()) return -1;
  const int mode = how == SHUTDOWN_RECEIVE ? SHUT_RD : how == SHUTDOWN_SEND ? SHUT_WR : SHUT_RDWR;
  return ::shutdown(this->Stream.fd(), mode) == 0 ? 0 : -1;
}

int Socket::Flush() { return 0; }

void Socket::CloseSocket() {
  std::lock_guard<std::mutex> lock(this->DescriptorMutex);
  this->Stream.close();
}

void Socket::SetStream(::Socket&& stream) {
  std::lock_guard<std::mutex> lock(this->DescriptorMutex);
  this->Stream = std::move(stream);
}

}  // namespace zeltvtk
