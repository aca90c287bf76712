#include "zeltvtk/SocketCommunicator.h"

#include <vtkObjectFactory.h>
#include <vtkUnsignedCharArray.h>

#include "zeltvtk/ArrayFrame.h"

namespace zeltvtk {

vtkStandardNewMacro(SocketCommunicator);

SocketCommunicator::SocketCommunicator() : MaxArraySize(ArrayFrame::DEFAULT_MAX_BYTES) {}

SocketCommunicator::~SocketCommunicator() = default;

void SocketCommunicator::PrintSelf(ostream& os, vtkIndent indent) {
  this->Superclass::PrintSelf(os, indent);
  os << indent << "Connected: " << this->GetIsConnected() << "\n";
  os << indent << "Timeout: " << this->Timeout << "\n";
}

void SocketCommunicator::SetSocket(ClientSocket* socket) {
  this->Sock = socket;
  this->Broken = false;
  this->Modified();
}

void SocketCommunicator::Fail(const std::string& error) {
  {
    std::lock_guard<std::mutex> lock(this->ErrorMutex);
    this->LastError = error;
  }
  this->Broken = true;
}

std::string SocketCommunicator::GetLastError() const {
  std::lock_guard<std::mutex> lock(this->ErrorMutex);
  return this->LastError;
}

int SocketCommunicator::GetIsConnected() {
  return this->Sock && !this->Broken && this->Sock->GetSocketDescriptor() >= 0 ? 1 : 0;
}

int SocketCommunicator::ServerSideHandshake() {
  if (!this->GetIsConnected()) return 0;
  std::string error;
  if (!Handshake::respond(this->Sock->GetStream(), this->Timeout, error)) {
    this->Fail(error);
    return 0;
  }
  return 1;
}

int SocketCommunicator::ClientSideHandshake() {
  if (!this->GetIsConnected()) return 0;
  std::string error;
  if (!Handshake::initiate(this->Sock->GetStream(), this->Timeout, error)) {
    this->Fail(error);
    return 0;
  }
  return 1;
}

int SocketCommunicator::Send(vtkDataArray* data, int remoteHandle, int tag) {
  auto* array = vtkUnsignedCharArray::SafeDownCast(data);
  if (!array || remoteHandle != 1 || array->GetNumberOfComponents() != 1) {
    vtkErrorMacro("only one-component unsigned-char arrays go to remote 1");
    return 0;
  }
  if (!this->GetIsConnected()) return 0;
  const char* name = array->GetName();
  std::string frame;
  ArrayFrame::encode(name ? name : "", array->GetPointer(0), size_t(array->GetNumberOfTuples()), uint32_t(tag),
                     frame);
  std::string error;
  if (ArrayFrame::writeFramed(this->Sock->GetStream(), frame, this->Timeout, error) != ArrayFrame::Status::Ok) {
    this->Fail("send: " + error);
    return 0;
  }
  return 1;
}

int SocketCommunicator::Receive(vtkDataArray* data, int remoteHandle, int tag) {
  auto* array = vtkUnsignedCharArray::SafeDownCast(data);
  if (!array || remoteHandle != 1) {
    vtkErrorMacro("only unsigned-char arrays come from remote 1");
    return 0;
  }
  if (!this->GetIsConnected()) return 0;
  ArrayMessage message;
  std::string error;
  ArrayFrame::Status status = ArrayFrame::read(this->Sock->GetStream(), message, this->ReceiveTimeout, this->Timeout,
                                               this->MaxArraySize, error);
  if (status == ArrayFrame::Status::Idle) {
    // Nothing began: the stream is still framed.
    return 0;
  }
  if (status != ArrayFrame::Status::Ok) {
    this->Fail("receive: " + error);
    return 0;
  }
  if (message.tag != uint32_t(tag)) {
    this->Fail("receive: an array with tag " + std::to_string(message.tag) + " where " + std::to_string(tag) +
               " was expected");
    return 0;
  }
  array->SetName(message.name.c_str());
  array->SetNumberOfComponents(1);
  array->SetNumberOfTuples(vtkIdType(message.bytes.size()));
  if (!message.bytes.empty()) std::copy(message.bytes.begin(), message.bytes.end(), array->GetPointer(0));
  return 1;
}

void SocketCommunicator::CloseConnection() {
  if (this->Sock) {
    this->Sock->Shutdown(Socket::SHUTDOWN_BOTH);
    this->Sock->CloseSocket();
  }
  this->Broken = true;
}

}  // namespace zeltvtk
