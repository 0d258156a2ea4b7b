#include "platform/windows/windows_platform.h"

#include "platform/windows/windows_headers.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/common/line_output.h"

namespace stampcast {
namespace windows {
namespace {

// The program's record as the system takes it: an IPv6 one as it is (it is
// laid out as sockaddr_in6, checked in layouts.cc), an IPv4 one as a
// sockaddr_in. Returns the length.
int toSystem(const SocketAddress& address, SOCKADDR_STORAGE* system) {
  std::memset(system, 0, sizeof *system);
  if (address.family == kAddressFamilyInet6) {
    std::memcpy(system, &address, sizeof address);
    return sizeof(sockaddr_in6);
  }
  auto* in = reinterpret_cast<sockaddr_in*>(system);
  in->sin_family = address.family;
  in->sin_port = address.port;
  in->sin_addr.s_addr = ipv4Of(address);
  return sizeof *in;
}

const sockaddr* asSockaddr(const SOCKADDR_STORAGE& system) {
  return reinterpret_cast<const sockaddr*>(&system);
}

// One write to the standard output handle, past the C runtime, whose
// buffered writes tell neither how much of a text reached a full disk nor
// that a pipe's reader has gone.
long writeSome(const char* bytes, std::size_t length) {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  // A console takes UTF-16; a file or a pipe the UTF-8 bytes.
  static const bool console = [output] {
    DWORD mode = 0;
    return GetConsoleMode(output, &mode) != FALSE;
  }();
  if (console) {
    const long written = writeConsole(output, bytes, length);
    return written >= 0 ? written : LineOutput::kRefused;
  }
  const DWORD most = 1u << 30;
  DWORD written = 0;
  if (WriteFile(output, bytes,
                length < most ? static_cast<DWORD>(length) : most, &written,
                nullptr)) {
    return written > 0 ? static_cast<long>(written) : LineOutput::kRefused;
  }
  switch (GetLastError()) {
    case ERROR_BROKEN_PIPE:         // the reader closed an anonymous pipe
    case ERROR_NO_DATA:             // the pipe is being closed
    case ERROR_PIPE_NOT_CONNECTED:  // Wine's word for a Unix pipe's EPIPE
      return LineOutput::kGone;
    default:  // a full disk, or no output at all: the text is lost
      return LineOutput::kRefused;
  }
}

LineOutput standardOutput(writeSome);

// The text with each LF as CR LF, as the C runtime's text mode wrote it.
const std::string& withCrLf(const char* text, std::size_t length) {
  static std::string converted;
  converted.clear();
  const char* end = text + length;
  for (;;) {
    const void* newline =
        std::memchr(text, '\n', static_cast<std::size_t>(end - text));
    if (newline == nullptr) break;
    converted.append(text, static_cast<const char*>(newline));
    converted.append("\r\n", 2);
    text = static_cast<const char*>(newline) + 1;
  }
  converted.append(text, end);
  return converted;
}

}  // namespace

bool WindowsPlatform::writeOutput(const char* text, std::size_t length) {
  // A report is often printed between a failed call and the read of its
  // error code; writing must not change either.
  const DWORD savedError = GetLastError();
  const int savedErrno = errno;
  const std::string& lines = withCrLf(text, length);
  const bool open = standardOutput.write(lines.data(), lines.size());
  errno = savedErrno;
  SetLastError(savedError);
  return open;
}

bool WindowsPlatform::outputEndsMidLine() {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE ||
      GetFileType(output) != FILE_TYPE_DISK) {
    return false;
  }
  LARGE_INTEGER size{};
  LARGE_INTEGER at{};
  if (!GetFileSizeEx(output, &size) ||
      !SetFilePointerEx(output, LARGE_INTEGER{}, &at, FILE_CURRENT)) {
    return false;
  }
  // A handle that appends stands at 0 until it writes (a Unix shell's >>
  // under Wine); one that does not overwrites the file from there anyway.
  const LARGE_INTEGER pointer = at;
  if (at.QuadPart == 0) at = size;
  if (at.QuadPart <= 0) return false;
  // The output may be open for writing only: the byte is read through a
  // handle of its own, or else through the output's, where it reads too
  // (Wine reopens none of a Unix shell's files).
  HANDLE file = ReOpenFile(
      output, GENERIC_READ,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
  const bool own = file != INVALID_HANDLE_VALUE;
  if (!own) file = output;
  OVERLAPPED before{};
  before.Offset = static_cast<DWORD>(at.QuadPart - 1);
  before.OffsetHigh = static_cast<DWORD>((at.QuadPart - 1) >> 32);
  char last = '\n';
  DWORD read = 0;
  const bool whole = ReadFile(file, &last, 1, &read, &before) && read == 1;
  if (own) {
    CloseHandle(file);
  } else {
    SetFilePointerEx(output, pointer, nullptr, FILE_BEGIN);
  }
  return whole && last != '\n';
}

int WindowsPlatform::startup() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data);
}

int WindowsPlatform::cleanup() { return WSACleanup(); }

SocketHandle WindowsPlatform::openUdpSocket(std::uint16_t family) {
  const bool ipv6 = family == kAddressFamilyInet6;
  const SOCKET socket =
      ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (socket == INVALID_SOCKET) return kInvalidSocket;
  if (ipv6) {
    const DWORD on = 1;
    ::setsockopt(socket, IPPROTO_IPV6, IPV6_V6ONLY,
                 reinterpret_cast<const char*>(&on), sizeof on);
  }
  return static_cast<SocketHandle>(socket);
}

int WindowsPlatform::setHopLimit(SocketHandle socket, std::uint16_t family,
                                 int hops) {
  if (family == kAddressFamilyInet6) {
    return ::setsockopt(asSocket(socket), IPPROTO_IPV6, IPV6_MULTICAST_HOPS,
                        reinterpret_cast<const char*>(&hops), sizeof hops);
  }
  return ::setsockopt(asSocket(socket), IPPROTO_IP, IP_MULTICAST_TTL,
                      reinterpret_cast<const char*>(&hops), sizeof hops);
}

int WindowsPlatform::joinGroup6(SocketHandle socket, const GroupJoin& join) {
  if (join.source.family == 0) {
    ipv6_mreq request{};
    std::memcpy(&request.ipv6mr_multiaddr, join.group.address, 16);
    request.ipv6mr_interface = join.interfaceIndex;
    return ::setsockopt(asSocket(socket), IPPROTO_IPV6, IPV6_ADD_MEMBERSHIP,
                        reinterpret_cast<const char*>(&request), sizeof request);
  }
  GROUP_SOURCE_REQ request{};
  request.gsr_interface = join.interfaceIndex;
  toSystem(join.group, &request.gsr_group);
  toSystem(join.source, &request.gsr_source);
  return ::setsockopt(asSocket(socket), IPPROTO_IPV6, MCAST_JOIN_SOURCE_GROUP,
                      reinterpret_cast<const char*>(&request), sizeof request);
}

// The classic receiver's join, on the system's choice of interface from
// any source, is the plain ip_mreq.
int WindowsPlatform::joinGroup(SocketHandle socket, const GroupJoin& join) {
  if (join.group.family == kAddressFamilyInet6) return joinGroup6(socket, join);
  if (join.interfaceIndex != 0 || join.source.family != 0) {
    return joinGroupOn(socket, join);
  }
  const MulticastMembership membership{ipv4Of(join.group), 0};
  return ::setsockopt(asSocket(socket), IPPROTO_IP, IP_ADD_MEMBERSHIP,
                      reinterpret_cast<const char*>(&membership),
                      sizeof(ip_mreq));
}

namespace {

// Room for 4096 measured datagrams of 48 bytes, as the receive buffer is
// counted here: in payload bytes. A buffer the host already made larger is
// kept.
constexpr int kReceiveRoom = 4096 * 48;

void growReceiveBuffer(SOCKET socket) {
  int current = 0;
  int length = sizeof current;
  if (::getsockopt(socket, SOL_SOCKET, SO_RCVBUF,
                   reinterpret_cast<char*>(&current), &length) != 0 ||
      current >= kReceiveRoom) {
    return;
  }
  ::setsockopt(socket, SOL_SOCKET, SO_RCVBUF,
               reinterpret_cast<const char*>(&kReceiveRoom),
               sizeof kReceiveRoom);
}

}  // namespace

int WindowsPlatform::bindSocket(SocketHandle socket,
                                const SocketAddress& local) {
  // Only a receiver binds; a smaller buffer than asked for is no failure.
  growReceiveBuffer(asSocket(socket));
  SOCKADDR_STORAGE address;
  const int length = toSystem(local, &address);
  return ::bind(asSocket(socket), asSockaddr(address), length);
}

int WindowsPlatform::sendTo(SocketHandle socket, const void* data, int length,
                            int flags, const SocketAddress& destination) {
  // The flags go through as given: Windows ignores the do-not-route flag on
  // a datagram socket.
  SOCKADDR_STORAGE address;
  const int addressLength = toSystem(destination, &address);
  return ::sendto(asSocket(socket), static_cast<const char*>(data), length,
                  flags, asSockaddr(address), addressLength);
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
      SOCKADDR_STORAGE to;
      const int toLength = toSystem(destination, &to);
      if (::connect(socket, asSockaddr(to), toLength) == 0 &&
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

// Looked up rather than imported: Windows 7 without update KB2533623 lacks
// it, and the program still starts there (traffic control finds the system
// folder by its path then).
void prepareProcess() {
  using SetDirectories = BOOL(WINAPI*)(DWORD);
  const auto found = reinterpret_cast<void (*)()>(GetProcAddress(
      GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories"));
  if (found != nullptr) {
    reinterpret_cast<SetDirectories>(found)(LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
}

}  // namespace stampcast
