#pragma once
// Carries unsigned-char arrays, each with its name, over one socket (framing in ArrayFrame.h).
// Only remote handle 1 exists; the tag travels with the array and must match on receive.
//
// Time-outs: the handshake, every send and every wait inside an arriving array are bounded by
// Timeout; waiting for an array to begin is bounded by ReceiveTimeout (-1, the default, waits
// until the array comes or the socket is shut down). A send or receive that fails leaves the
// stream unframed: the communicator then counts as disconnected.
//
// Threads: one thread receives and one sends at a time (callers serialise each direction);
// GetIsConnected from any thread.
#include <vtkObject.h>
#include <vtkSmartPointer.h>

#include <atomic>
#include <string>

#include "zeltvtk/ClientSocket.h"

class vtkDataArray;

namespace zeltvtk {

class SocketCommunicator : public vtkObject {
 public:
  static SocketCommunicator* New();
  vtkTypeMacro(SocketCommunicator, vtkObject);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  static constexpr int DEFAULT_TIMEOUT_MS = 10000;

  void SetSocket(ClientSocket* socket);
  ClientSocket* GetSocket() { return this->Sock; }

  // The answering and the speaking side of the handshake; 1 on success, 0 on failure.
  int ServerSideHandshake();
  int ClientSideHandshake();

  // 1 while a socket is set, open, and no transfer has failed.
  int GetIsConnected();

  // Sends data, which must be a one-component vtkUnsignedCharArray, with its name. 1 on success.
  int Send(vtkDataArray* data, int remoteHandle, int tag);
  // Receives one array into data (a vtkUnsignedCharArray): its name and bytes. 1 on success.
  int Receive(vtkDataArray* data, int remoteHandle, int tag);
  // Shuts the socket down and closes it; the communicator is disconnected afterwards.
  void CloseConnection();

  vtkSetMacro(Timeout, int);
  vtkGetMacro(Timeout, int);
  vtkSetMacro(ReceiveTimeout, int);
  vtkGetMacro(ReceiveTimeout, int);
  vtkSetMacro(MaxArraySize, size_t);
  vtkGetMacro(MaxArraySize, size_t);
  // Text of the last failure.
  std::string GetLastError() const;

 protected:
  SocketCommunicator();
  ~SocketCommunicator() override;

  void Fail(const std::string& error);

  vtkSmartPointer<ClientSocket> Sock;
  int Timeout = DEFAULT_TIMEOUT_MS;
  int ReceiveTimeout = -1;
  size_t MaxArraySize;
  std::atomic<bool> Broken{false};
  mutable std::mutex ErrorMutex;
  std::string LastError;

 private:
  SocketCommunicator(const SocketCommunicator&) = delete;
  void operator=(const SocketCommunicator&) = delete;
};

}  // namespace zeltvtk
