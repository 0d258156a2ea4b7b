#include "platform/posix/posix_platform.h"

#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/common/line_output.h"

namespace stampcast {
namespace posix {
namespace {

int asFd(SocketHandle socket) { return static_cast<int>(socket); }


// Waits until standard output takes more bytes; false when it cannot tell.
bool waitForOutput() {
  pollfd output{STDOUT_FILENO, POLLOUT, 0};
  for (;;) {
    const int ready = ::poll(&output, 1, -1);
    if (ready > 0) return true;  // writable, or broken: the write tells
    if (ready < 0 && errno != EINTR) return false;
  }
}

// One write to standard output, straight to the descriptor: nothing waits
// in a buffer for an exit that an interrupted receiver never reaches.
long writeSome(const char* bytes, std::size_t length) {
  for (;;) {
    const ssize_t written = ::write(STDOUT_FILENO, bytes, length);
    if (written > 0) return static_cast<long>(written);
    if (written < 0 && errno == EINTR) continue;
    // A pipe that its reader made non-blocking is full, not broken: wait
    // for room as a blocking write does, rather than drop the line.
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) &&
        waitForOutput()) {
      continue;
    }
    // A reader that went away has ended the run by SIGPIPE before this,
    // as is the Unix convention (`stampcast -r | head`); where the signal
    // is ignored, the run ends on EPIPE instead. Other failures (a full
    // disk) lose text while the run goes on.
    return written < 0 && errno == EPIPE ? LineOutput::kGone
                                         : LineOutput::kRefused;
  }
}

LineOutput standardOutput(writeSome);

}  // namespace

bool PosixPlatform::writeOutput(const char* text, std::size_t length) {
  const int savedErrno = errno;
  const bool open = standardOutput.write(text, length);
  errno = savedErrno;
  return open;
}

bool PosixPlatform::outputEndsMidLine() {
  struct stat status {};
  if (::fstat(STDOUT_FILENO, &status) != 0 || !S_ISREG(status.st_mode)) {
    return false;
  }
  // Where the next write goes: the end of a file opened to append (>>).
  const int flags = ::fcntl(STDOUT_FILENO, F_GETFL);
  const off_t at = flags >= 0 && (flags & O_APPEND) != 0
                       ? status.st_size
                       : ::lseek(STDOUT_FILENO, 0, SEEK_CUR);
  if (at <= 0) return false;
  // The output may be open for writing only: the byte is read through a
  // descriptor of its own.
  const int file = ::open("/proc/self/fd/1", O_RDONLY | O_CLOEXEC);
  if (file < 0) return false;
  char last = '\n';
  const bool read = ::pread(file, &last, 1, at - 1) == 1;
  ::close(file);
  return read && last != '\n';
}

int PosixPlatform::settle(int result) {
  lastSocketError_ = result < 0 ? errno : 0;
  return result < 0 ? kSocketError : result;
}

int PosixPlatform::startup() { return 0; }

int PosixPlatform::cleanup() { return 0; }

SocketHandle PosixPlatform::openUdpSocket(std::uint16_t family) {
  const bool ipv6 = family == kAddressFamilyInet6;
  const int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  settle(fd);
  if (fd < 0) return kInvalidSocket;
  // A socket hears only the groups it joined itself, as on Windows; Linux
  // would also hand it the groups that other sockets joined on its port.
  // Off from the start, so that nothing of another group is queued between
  // a receiver's bind and its join.
  const int off = 0;
  if (ipv6) {
    const int on = 1;
    ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
#ifdef IPV6_MULTICAST_ALL
    ::setsockopt(fd, IPPROTO_IPV6, IPV6_MULTICAST_ALL, &off, sizeof off);
#endif
  } else {
#ifdef IP_MULTICAST_ALL
    ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_ALL, &off, sizeof off);
#endif
  }
  return adopt(fd);
}

SocketHandle PosixPlatform::adopt(int fd) {
  if (socketTos_.size() <= static_cast<std::size_t>(fd)) {
    socketTos_.resize(static_cast<std::size_t>(fd) + 1);
  }
  socketTos_[static_cast<std::size_t>(fd)] = 0;
  if (socketInterface_.size() > static_cast<std::size_t>(fd)) {
    socketInterface_[static_cast<std::size_t>(fd)] = 0;
  }
  return static_cast<SocketHandle>(fd);
}

int PosixPlatform::setHopLimit(SocketHandle socket, std::uint16_t family,
                               int hops) {
  if (family == kAddressFamilyInet6) {
    return settle(::setsockopt(asFd(socket), IPPROTO_IPV6,
                               IPV6_MULTICAST_HOPS, &hops, sizeof hops));
  }
  return settle(::setsockopt(asFd(socket), IPPROTO_IP, IP_MULTICAST_TTL,
                             &hops, sizeof hops));
}

int PosixPlatform::joinGroup6(SocketHandle socket, const GroupJoin& join) {
  if (join.source.family == 0) {
    ipv6_mreq request{};
    std::memcpy(&request.ipv6mr_multiaddr, join.group.address, 16);
    request.ipv6mr_interface = join.interfaceIndex;
    return settle(::setsockopt(asFd(socket), IPPROTO_IPV6, IPV6_JOIN_GROUP,
                               &request, sizeof request));
  }
  group_source_req request{};
  request.gsr_interface = join.interfaceIndex;
  toSystem(join.group, &request.gsr_group);
  toSystem(join.source, &request.gsr_source);
  return settle(::setsockopt(asFd(socket), IPPROTO_IPV6,
                             MCAST_JOIN_SOURCE_GROUP, &request, sizeof request));
}

namespace {

// Windows counts a receive buffer in payload bytes: its default 64 KiB holds
// some 4096 timestamps of 16 bytes. Linux counts each datagram's whole
// kernel record (about 800 bytes for 16 bytes of payload), so its default
// of about 208 KiB holds only some 256, and a receiver that falls behind a
// fast sender for a moment loses the rest. Asking for 4096 records of 1 KiB
// (the kernel doubles what it is asked for, hence the half) brings it near
// the Windows figure, within the host's net.core.rmem_max.
constexpr int kReceiveBufferRequest = 4096 * 1024 / 2;

void growReceiveBuffer(int socket) {
  int current = 0;
  socklen_t length = sizeof current;
  if (::getsockopt(socket, SOL_SOCKET, SO_RCVBUF, &current, &length) != 0 ||
      current >= 2 * kReceiveBufferRequest) {
    return;  // never shrink a buffer the host already made larger
  }
  const int request = kReceiveBufferRequest;
  ::setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &request, sizeof request);
}

}  // namespace

int PosixPlatform::bindSocket(SocketHandle socket, const SocketAddress& local) {
  // Only a receiver binds; a smaller buffer than asked for is no failure.
  growReceiveBuffer(asFd(socket));
  sockaddr_storage address;
  const socklen_t length = toSystem(local, &address);
  return settle(::bind(asFd(socket), reinterpret_cast<const sockaddr*>(&address),
                       length));
}

int PosixPlatform::sendTo(SocketHandle socket, const void* data, int length,
                          int flags, const SocketAddress& destination) {
  applyMarking(asFd(socket), destination);
  // The Windows stack ignores the do-not-route flag. Linux honours it, and a
  // send to a group then fails with ENETUNREACH on a host whose only route
  // is a default route, so it is never passed on.
  const int systemFlags = flags & ~kSendDontRoute;
  sockaddr_storage address;
  const socklen_t addressLength = toSystem(destination, &address);
  return settle(static_cast<int>(
      ::sendto(asFd(socket), data, static_cast<std::size_t>(length),
               systemFlags, reinterpret_cast<const sockaddr*>(&address),
               addressLength)));
}

// Batches: sendmmsg and recvmmsg

int PosixPlatform::sendBatch(SocketHandle socket, const void* data,
                             int length, int count, int flags,
                             const SocketAddress& destination) {
  applyMarking(asFd(socket), destination);
  sockaddr_storage address;
  const socklen_t addressLength = toSystem(destination, &address);
  if (count > kMaxBatch) count = kMaxBatch;
  mmsghdr messages[kMaxBatch];
  iovec parts[kMaxBatch];
  std::memset(messages, 0, sizeof messages);
  auto* next = static_cast<char*>(const_cast<void*>(data));
  for (int i = 0; i < count; ++i, next += length) {
    parts[i].iov_base = next;
    parts[i].iov_len = static_cast<std::size_t>(length);
    messages[i].msg_hdr.msg_name = &address;
    messages[i].msg_hdr.msg_namelen = addressLength;
    messages[i].msg_hdr.msg_iov = &parts[i];
    messages[i].msg_hdr.msg_iovlen = 1;
  }
  // The do-not-route flag is dropped as sendTo drops it. Linux reports a
  // failure after the first datagram by the count alone and forgets its
  // error; the caller's next call, from the datagram that failed, brings
  // it back.
  return settle(::sendmmsg(asFd(socket), messages,
                           static_cast<unsigned>(count),
                           flags & ~kSendDontRoute));
}

int PosixPlatform::shutdownSocket(SocketHandle socket, int how) {
  (void)how;  // both directions is the only one the program asks for
  return settle(::shutdown(asFd(socket), SHUT_RDWR));
}

int PosixPlatform::closeSocket(SocketHandle socket) {
  return settle(::close(asFd(socket)));
}

int PosixPlatform::lastSystemError() { return errno; }

// Outgoing address
// Connecting a datagram socket sends nothing: it only makes the kernel pick
// the route, whose source address getsockname then shows. The socket is not
// one of the program's, so neither its last error nor errno changes.
std::uint32_t PosixPlatform::outgoingAddress(const SocketAddress& destination) {
  const int savedErrno = errno;
  std::uint32_t result = 0;
  const int fd = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (fd >= 0) {
    sockaddr_storage to;
    const socklen_t toLength = toSystem(destination, &to);
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), toLength) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0 &&
        local.sin_family == AF_INET) {
      result = local.sin_addr.s_addr;
    }
    ::close(fd);
  }
  errno = savedErrno;
  return result;
}

}  // namespace posix

Platform& systemPlatform() {
  static posix::PosixPlatform platform;
  return platform;
}

// Nothing to set: the dynamic loader searches no program folder.
void prepareProcess() {}

}  // namespace stampcast
