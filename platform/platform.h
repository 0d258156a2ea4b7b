// The one boundary between the program and the operating system: the socket
// layer, traffic control, the clock and the console. The core receives a
// Platform& and calls nothing else, so that tests can hand it a fake; each
// backend (posix/, windows/) supplies the real one.
#ifndef STAMPCAST_PLATFORM_PLATFORM_H_
#define STAMPCAST_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>

#include "platform/traffic_control.h"
#include "platform/types.h"

namespace stampcast {

class Platform {
 public:
  virtual ~Platform() = default;

  // Console: writes the bytes to standard output at once, unbuffered, so
  // that nothing is lost when the process is interrupted.
  virtual void writeOutput(const char* text, std::size_t length) = 0;

  // Socket layer. Calls that can fail return kSocketError (-1) and leave
  // their error for lastSocketError().
  virtual int startup() = 0;  // version 2.2; 0 or the layer's error code
  virtual int cleanup() = 0;
  virtual SocketHandle openUdpSocket() = 0;  // kInvalidSocket on failure
  virtual int setMulticastTtl(SocketHandle socket, int ttl) = 0;
  virtual int joinGroup(SocketHandle socket,
                        const MulticastMembership& membership) = 0;
  virtual int bindSocket(SocketHandle socket, const SocketAddress& local) = 0;
  // Returns the bytes sent.
  virtual int sendTo(SocketHandle socket, const void* data, int length,
                     int flags, const SocketAddress& destination) = 0;
  // Returns the bytes received. A datagram longer than the buffer is a
  // received datagram cut to the buffer, on every platform.
  virtual int receiveFrom(SocketHandle socket, void* buffer, int length,
                          int flags, SocketAddress* from,
                          int* fromLength) = 0;
  virtual int shutdownSocket(SocketHandle socket, int how) = 0;
  virtual int closeSocket(SocketHandle socket) = 0;
  // The socket layer's error of the last call (WSAGetLastError).
  virtual int lastSocketError() = 0;
  // The operating system's last error for the thread (GetLastError, errno).
  virtual int lastSystemError() = 0;

  // --- Outgoing address (traffic control's choice of interface) ---
  // The local IPv4 address (network order) that the socket layer sends
  // datagrams to `destination` from, asked through a short-lived socket of
  // its own; 0 when it cannot tell. It may run before startup(): it starts
  // and ends the socket layer for itself where the platform needs that.
  virtual std::uint32_t outgoingAddress(const SocketAddress& destination) = 0;
  // --- end of outgoing address ---

  // Clock.
  virtual void getLocalTime(LocalTime* time) = 0;
  // Sets the clock from a local time: 0, or the platform's error code.
  virtual int setLocalTime(const LocalTime& time) = 0;
  virtual void sleepMilliseconds(std::uint32_t milliseconds) = 0;

  // Traffic control, the service that marks the sender's datagrams.
  virtual TrafficControl& trafficControl() = 0;
};

// The running system's platform, from the backend the build picked.
Platform& systemPlatform();

// Address and byte-order conversion: pure functions of the socket layer,
// from the same backend.
std::uint32_t inetAddr(const char* dotted);  // network order
std::uint16_t hostToNetwork16(std::uint16_t value);
std::uint32_t hostToNetwork32(std::uint32_t value);

}  // namespace stampcast

#endif  // STAMPCAST_PLATFORM_PLATFORM_H_
