#include "platform/windows/windows_platform.h"

#include "platform/windows/windows_headers.h"

#include <cerrno>
#include <cstdio>

namespace stampcast {
namespace windows {
namespace {

// Large enough that every message leaves in one write when it is flushed.
constexpr std::size_t kOutputBufferSize = 64 * 1024;

SOCKET asSocket(SocketHandle socket) { return static_cast<SOCKET>(socket); }

const sockaddr* asSockaddr(const SocketAddress& address) {
  return reinterpret_cast<const sockaddr*>(&address);
}

}  // namespace

WindowsPlatform::WindowsPlatform() {
  // The C runtime treats line buffering as full buffering, so a line would
  // wait for the buffer to fill: the buffer is flushed after every message
  // instead. Text mode stays, so LF reaches a file as CR LF.
  std::setvbuf(stdout, nullptr, _IOFBF, kOutputBufferSize);
}

bool WindowsPlatform::writeOutput(const char* text, std::size_t length) {
  // A report is often printed between a failed call and the read of its
  // error code; writing must not change either.
  const DWORD savedError = GetLastError();
  const int savedErrno = errno;
  std::fwrite(text, 1, length, stdout);
  std::fflush(stdout);
  errno = savedErrno;
  SetLastError(savedError);
  return true;
}

int WindowsPlatform::startup() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data);
}

int WindowsPlatform::cleanup() { return WSACleanup(); }

SocketHandle WindowsPlatform::openUdpSocket() {
  const SOCKET socket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  return socket == INVALID_SOCKET ? kInvalidSocket
                                  : static_cast<SocketHandle>(socket);
}

int WindowsPlatform::setMulticastTtl(SocketHandle socket, int ttl) {
  return ::setsockopt(asSocket(socket), IPPROTO_IP, IP_MULTICAST_TTL,
                      reinterpret_cast<const char*>(&ttl), sizeof ttl);
}

int WindowsPlatform::joinGroup(SocketHandle socket,
                               const MulticastMembership& membership) {
  return ::setsockopt(asSocket(socket), IPPROTO_IP, IP_ADD_MEMBERSHIP,
                      reinterpret_cast<const char*>(&membership),
                      sizeof(ip_mreq));
}

int WindowsPlatform::bindSocket(SocketHandle socket,
                                const SocketAddress& local) {
  return ::bind(asSocket(socket), asSockaddr(local), sizeof(sockaddr_in));
}

int WindowsPlatform::sendTo(SocketHandle socket, const void* data, int length,
                            int flags, const SocketAddress& destination) {
  // The flags go through as given: Windows ignores the do-not-route flag on
  // a datagram socket.
  return ::sendto(asSocket(socket), static_cast<const char*>(data), length,
                  flags, asSockaddr(destination), sizeof(sockaddr_in));
}

int WindowsPlatform::shutdownSocket(SocketHandle socket, int how) {
  return ::shutdown(asSocket(socket), how);
}

int WindowsPlatform::closeSocket(SocketHandle socket) {
  return ::closesocket(asSocket(socket));
}

int WindowsPlatform::lastSocketError() { return WSAGetLastError(); }

int WindowsPlatform::lastSystemError() {
  return static_cast<int>(GetLastError());
}

// Batches: one datagram a call, through sendTo and receiveFrom
// batchLimit() is 1, so count is 1 here; only the first datagram is moved.

int WindowsPlatform::sendBatch(SocketHandle socket, const void* data,
                               int length, int /*count*/, int flags,
                               const SocketAddress& destination) {
  return sendTo(socket, data, length, flags, destination) == SOCKET_ERROR
             ? kSocketError
             : 1;
}

// Outgoing address
// Connecting a datagram socket sends nothing: it only makes the stack pick
// the route, whose source address getsockname then shows. Marking asks this
// before the program starts the socket layer, so the question starts and
// ends its own use of it. The thread's error code (which is also the socket
// layer's) stays as it was.
std::uint32_t WindowsPlatform::outgoingAddress(
    const SocketAddress& destination) {
  const DWORD savedError = GetLastError();
  std::uint32_t result = 0;
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) == 0) {
    const SOCKET socket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (socket != INVALID_SOCKET) {
      sockaddr_in local{};
      int length = sizeof local;
      if (::connect(socket, asSockaddr(destination), sizeof(sockaddr_in)) == 0 &&
          ::getsockname(socket, reinterpret_cast<sockaddr*>(&local),
                        &length) == 0 &&
          local.sin_family == AF_INET) {
        result = local.sin_addr.s_addr;
      }
      ::closesocket(socket);
    }
    WSACleanup();
  }
  SetLastError(savedError);
  return result;
}

}  // namespace windows

Platform& systemPlatform() {
  static windows::WindowsPlatform platform;
  return platform;
}

}  // namespace stampcast
