#pragma once
// A stream socket of the networking component, held by smart pointer and shared between a
// communicator and its owner. Writes never raise SIGPIPE.
//
// Threads: one reader and one writer at a time. Shutdown may be called from any thread while
// another waits on the socket (the wait ends at once); CloseSocket only once no other thread
// uses it.
#include <vtkObject.h>

#include <mutex>

#include <Socket.h>  // the platform's TCP stream

namespace zeltvtk {

class Socket : public vtkObject {
 public:
  static Socket* New();
  vtkTypeMacro(Socket, vtkObject);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  // How Shutdown ends the socket.
  enum { SHUTDOWN_BOTH = 0, SHUTDOWN_RECEIVE = 1, SHUTDOWN_SEND = 2 };

  // The descriptor, or -1 when closed.
  int GetSocketDescriptor();
  // 0 on success, -1 when there is no open socket.
  int Shutdown(int how);
  // Everything handed to Send is with the kernel when it returns: nothing to flush, 0.
  int Flush();
  // Closes the descriptor and marks it invalid.
  void CloseSocket();

  // The underlying stream, for the communicator and the service.
  ::Socket& GetStream() { return this->Stream; }
  // Takes over a connected stream.
  void SetStream(::Socket&& stream);

 protected:
  Socket();
  ~Socket() override;

  ::Socket Stream;
  std::mutex DescriptorMutex;  // guards closing against a concurrent Shutdown

 private:
  Socket(const Socket&) = delete;
  void operator=(const Socket&) = delete;
};

}  // namespace zeltvtk
