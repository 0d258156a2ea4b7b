// The receiver's datagrams on Windows, one a call, and what the IP layer
// delivers with each for a receiver that measures the path: the sender, and
// through WSARecvMsg the DS byte and the TTL.
#include "platform/windows/windows_headers.h"
#include "platform/windows/windows_platform.h"

#include <mswsock.h>

#include <cstring>
#include <vector>

namespace stampcast {
namespace windows {
namespace {

// Room for the control messages of one datagram: the DS byte (or traffic
// class) and the TTL (or hop limit), each an INT with its header.
constexpr std::size_t kControlSize = WSA_CMSG_SPACE(sizeof(INT)) * 2;

// The sender as the program's record: an IPv6 one as it came (the layouts
// match), an IPv4 one from its sockaddr_in.
void fromSystem(const SOCKADDR_STORAGE& system, SocketAddress* from) {
  if (system.ss_family == AF_INET6) {
    std::memcpy(from, &system, sizeof *from);
    return;
  }
  const auto& in = reinterpret_cast<const sockaddr_in&>(system);
  *from = ipv4SocketAddress(in.sin_addr.s_addr, in.sin_port);
  from->family = in.sin_family;
}

int switchOn(SOCKET socket, int level, int option) {
  const DWORD on = 1;
  return ::setsockopt(socket, level, option,
                      reinterpret_cast<const char*>(&on), sizeof on) == 0
             ? 0
             : WSAGetLastError();
}

// Reads the control messages of one received datagram into its record. A
// record shorter than its header ends the walk: the macros would step on
// the spot for ever.
void readControl(WSAMSG* message, Arrival* arrival) {
  const auto* end = reinterpret_cast<const unsigned char*>(
      message->Control.buf + message->Control.len);
  for (WSACMSGHDR* header = WSA_CMSG_FIRSTHDR(message); header != nullptr;
       header = WSA_CMSG_NXTHDR(message, header)) {
    if (header->cmsg_len < WSA_CMSG_LEN(0)) break;
    const unsigned char* data = WSA_CMSG_DATA(header);
    const std::size_t length = header->cmsg_len - WSA_CMSG_LEN(0);
    // A header fits before the end, and so does where its data begins.
    if (length > static_cast<std::size_t>(end - data) || length < 1) continue;
    if (header->cmsg_level == IPPROTO_IPV6 && length >= sizeof(INT) &&
        (header->cmsg_type == IPV6_TCLASS || header->cmsg_type == IPV6_HOPLIMIT)) {
      INT value;
      std::memcpy(&value, data, sizeof value);
      (header->cmsg_type == IPV6_TCLASS ? arrival->tos : arrival->ttl) = value;
      continue;
    }
    if (header->cmsg_level != IPPROTO_IP) continue;
    if (header->cmsg_type == IP_TOS) {
      // The DS byte is the first byte of the field, whether a stack hands
      // one byte or a little-endian INT.
      arrival->tos = data[0];
    } else if (header->cmsg_type == IP_TTL && length >= sizeof(INT)) {
      INT ttl;
      std::memcpy(&ttl, data, sizeof ttl);
      arrival->ttl = ttl;
    }
  }
}

}  // namespace

int WindowsPlatform::receiveFrom(SocketHandle socket, void* buffer, int length,
                                 SocketAddress* from) {
  SOCKADDR_STORAGE sender{};
  int senderLength = sizeof sender;
  const int received =
      ::recvfrom(asSocket(socket), static_cast<char*>(buffer), length, 0,
                 reinterpret_cast<sockaddr*>(&sender), &senderLength);
  fromSystem(sender, from);
  // Windows fills the buffer with the head of a longer datagram and reports
  // the rest as lost with WSAEMSGSIZE. The receiver treats that datagram as
  // received and cut to the buffer, as Linux does, rather than ending its
  // run because some peer sent more than it expected.
  if (received == SOCKET_ERROR && WSAGetLastError() == WSAEMSGSIZE) {
    WSASetLastError(0);
    return length;
  }
  return received;
}

int WindowsPlatform::receiveWithArrival(SocketHandle socket, void* buffer,
                                        int length, Arrival* arrival) {
  *arrival = Arrival{};
  if (recvMsg_ == nullptr) {
    const int received = receiveFrom(socket, buffer, length, &arrival->from);
    if (received != SOCKET_ERROR) {
      readClock(&arrival->local, &arrival->utcNanoseconds);
      arrival->steadyNanoseconds = steadyNanoseconds();
    }
    return received;
  }
  WSABUF data;
  data.len = static_cast<ULONG>(length);
  data.buf = static_cast<char*>(buffer);
  // Cleared, so that a call that fails without telling what it filled
  // leaves no header to read.
  alignas(WSACMSGHDR) char control[kControlSize] = {};
  SOCKADDR_STORAGE sender{};
  WSAMSG message{};
  message.name = reinterpret_cast<sockaddr*>(&sender);
  message.namelen = static_cast<INT>(sizeof sender);
  message.lpBuffers = &data;
  message.dwBufferCount = 1;
  message.Control.buf = control;
  message.Control.len = sizeof control;
  DWORD received = 0;
  const auto recvMsg = reinterpret_cast<LPFN_WSARECVMSG>(recvMsg_);
  if (recvMsg(asSocket(socket), &message, &received, nullptr, nullptr) ==
      SOCKET_ERROR) {
    // A longer datagram counts as received and cut, as in receiveFrom.
    if (WSAGetLastError() != WSAEMSGSIZE) return SOCKET_ERROR;
    WSASetLastError(0);
    received = static_cast<DWORD>(length);
  }
  fromSystem(sender, &arrival->from);
  // The arrival time: the clock as the receive returns.
  readClock(&arrival->local, &arrival->utcNanoseconds);
  arrival->steadyNanoseconds = steadyNanoseconds();
  readControl(&message, arrival);
  return static_cast<int>(received);
}

// A receive of a run that catches stop requests: overlapped, so that its
// wait holds the receive's own completion beside the stop event and the
// interval deadline.
//
// Why not WSAEventSelect: its FD_READ is set anew only after recv,
// recvfrom, WSARecv, WSARecvEx and WSARecvFrom, and WSARecvMsg (the call
// that brings the DS byte and the TTL) is not among them; a wait on it may
// then sleep through a queued datagram until a bound. An overlapped receive
// signals its own event when it completes, whichever call posted it: a
// datagram already queued completes it at once, one that comes later as it
// comes. The arrival time is read as the wait sees the completion. The
// bound of the wait serves only the stop flag and the deadline. A receive
// that a stop or a deadline leaves pending stays posted, with its buffers
// here, and the next call waits for it again; closing the socket cancels it.
struct WindowsPlatform::PendingReceive {
  SOCKET socket = INVALID_SOCKET;
  bool posted = false;
  WSAOVERLAPPED overlapped{};
  WSAMSG message{};
  WSABUF data{};
  SOCKADDR_STORAGE sender{};
  INT senderLength = 0;
  DWORD flags = 0;
  alignas(WSACMSGHDR) char control[kControlSize] = {};
  std::vector<char> buffer;
};

namespace {

constexpr DWORD kStopCheckMilliseconds = 250;
// The largest UDP payload (IPv6's, 65527 bytes) and then some.
constexpr int kLargestDatagram = 65536;

// Posts the receive: 1 when posted (or completed, which signals the event
// as well), 2 when it failed at once with a datagram longer than the
// buffer (received, cut), or kSocketError.
int post(WindowsPlatform::PendingReceive& p, LPFN_WSARECVMSG recvMsg) {
  const HANDLE event = p.overlapped.hEvent;
  p.overlapped = WSAOVERLAPPED{};
  p.overlapped.hEvent = event;
  std::memset(p.control, 0, sizeof p.control);
  p.sender = SOCKADDR_STORAGE{};
  p.senderLength = static_cast<INT>(sizeof p.sender);
  p.data.len = static_cast<ULONG>(p.buffer.size());
  p.data.buf = p.buffer.data();
  p.flags = 0;
  int result;
  if (recvMsg != nullptr) {
    p.message = WSAMSG{};
    p.message.name = reinterpret_cast<sockaddr*>(&p.sender);
    p.message.namelen = p.senderLength;
    p.message.lpBuffers = &p.data;
    p.message.dwBufferCount = 1;
    p.message.Control.buf = p.control;
    p.message.Control.len = sizeof p.control;
    result = recvMsg(p.socket, &p.message, nullptr, &p.overlapped, nullptr);
  } else {
    result = WSARecvFrom(p.socket, &p.data, 1, nullptr, &p.flags,
                         reinterpret_cast<sockaddr*>(&p.sender),
                         &p.senderLength, &p.overlapped, nullptr);
  }
  if (result == 0 || WSAGetLastError() == WSA_IO_PENDING) return 1;
  return WSAGetLastError() == WSAEMSGSIZE ? 2 : kSocketError;
}

}  // namespace

// 1 once the posted receive has completed, 0 when a stop request or the
// receive deadline came first, kSocketError when the wait failed.
int WindowsPlatform::waitForReceive(void* completed) {
  for (;;) {
    DWORD bound = kStopCheckMilliseconds;
    if (receiveDeadline_ != 0) {
      const std::int64_t rest = receiveDeadline_ - steadyNanoseconds();
      if (rest <= 0) return 0;
      // Rounded up, so that the wait never ends just before the deadline.
      const std::int64_t milliseconds = (rest + 999999) / 1000000;
      if (milliseconds < bound) bound = static_cast<DWORD>(milliseconds);
    }
    // The stop comes first: when both are set, the wait names the first.
    const WSAEVENT events[] = {stopSignal(), completed};
    const DWORD which = WSAWaitForMultipleEvents(2, events, FALSE, bound, FALSE);
    if (which == WSA_WAIT_EVENT_0 || stopRequested()) return 0;
    if (which == WSA_WAIT_EVENT_0 + 1) return 1;
    if (which != WSA_WAIT_TIMEOUT) return kSocketError;
  }
}

int WindowsPlatform::receiveOverlapped(SocketHandle socket, void* slot,
                                       int slotLength, int* length,
                                       Arrival* arrival) {
  if (pending_ == nullptr) {
    // Lives as long as the process, as the platform does: a receive may
    // still be posted into it when the run ends.
    pending_ = new PendingReceive;
    pending_->overlapped.hEvent = readEvent_;
  }
  PendingReceive& p = *pending_;
  const auto recvMsg = reinterpret_cast<LPFN_WSARECVMSG>(recvMsg_);
  int posted = 1;
  if (!p.posted || p.socket != asSocket(socket)) {
    p.socket = asSocket(socket);
    // With arrivals, room for the largest datagram, so that the length
    // it came with is known even when only its head is kept.
    const int room = arrival != nullptr && slotLength < kLargestDatagram ? kLargestDatagram
                                                                         : slotLength;
    p.buffer.assign(static_cast<std::size_t>(room), '\0');
    WSAResetEvent(readEvent_);
    posted = post(p, recvMsg);
    if (posted == kSocketError) return kSocketError;
    p.posted = posted == 1;
  }
  DWORD received = static_cast<DWORD>(p.buffer.size());
  if (posted == 1) {
    const int ready = waitForReceive(readEvent_);
    if (ready != 1) return ready;
  }
  LocalTime local;
  std::int64_t utc = 0;
  readClock(&local, &utc);  // the arrival: as the receive completes
  p.posted = false;
  DWORD flags = 0;
  if (posted == 1 &&
      !WSAGetOverlappedResult(p.socket, &p.overlapped, &received, FALSE,
                              &flags)) {
    // A longer datagram counts as received and cut, as in receiveFrom.
    if (WSAGetLastError() != WSAEMSGSIZE) return kSocketError;
    WSASetLastError(0);
    received = static_cast<DWORD>(p.buffer.size());
  }
  const int size = static_cast<int>(received);
  if (received > static_cast<DWORD>(slotLength)) {
    received = static_cast<DWORD>(slotLength);
  }
  std::memcpy(slot, p.buffer.data(), received);
  *length = static_cast<int>(received);
  if (arrival != nullptr) {
    *arrival = Arrival{};
    arrival->size = size;
    fromSystem(p.sender, &arrival->from);
    arrival->local = local;
    arrival->utcNanoseconds = utc;
    if (recvMsg != nullptr) readControl(&p.message, arrival);
  }
  return 1;
}

// batchLimit() is 1, so count is 1 here; only the first datagram is moved.
int WindowsPlatform::receiveBatch(SocketHandle socket, void* slots,
                                  int slotLength, int /*count*/,
                                  int* lengths, Arrival* arrivals) {
  if (catchingStops_) {
    return receiveOverlapped(socket, slots, slotLength, lengths, arrivals);
  }
  int received;
  if (arrivals != nullptr) {
    received = receiveWithArrival(socket, slots, slotLength, arrivals);
  } else {
    SocketAddress from{};
    received = receiveFrom(socket, slots, slotLength, &from);
  }
  if (received == SOCKET_ERROR) return kSocketError;
  lengths[0] = received;
  return 1;
}

// Windows names the hop limit's switch IPV6_HOPLIMIT.
ArrivalRefusals WindowsPlatform::enableArrivals(SocketHandle socket,
                                                std::uint16_t family) {
  ArrivalRefusals refusals;
  if (family == kAddressFamilyInet6) {
    refusals.tosError =
        switchOn(asSocket(socket), IPPROTO_IPV6, IPV6_RECVTCLASS);
    refusals.ttlError = switchOn(asSocket(socket), IPPROTO_IPV6, IPV6_HOPLIMIT);
    refusals.hopLimitOption = "IPV6_HOPLIMIT";
  } else {
    refusals.tosError = switchOn(asSocket(socket), IPPROTO_IP, IP_RECVTOS);
    refusals.ttlError = switchOn(asSocket(socket), IPPROTO_IP, IP_RECVTTL);
  }
  fetchRecvMsg(socket, &refusals);
  return refusals;
}

bool WindowsPlatform::fetchRecvMsg(SocketHandle socket,
                                   ArrivalRefusals* refusals) {
  GUID id = WSAID_WSARECVMSG;
  LPFN_WSARECVMSG recvMsg = nullptr;
  DWORD size = 0;
  if (WSAIoctl(asSocket(socket), SIO_GET_EXTENSION_FUNCTION_POINTER, &id,
               sizeof id, &recvMsg, sizeof recvMsg, &size, nullptr,
               nullptr) == 0 &&
      recvMsg != nullptr) {
    recvMsg_ = reinterpret_cast<void (*)()>(recvMsg);
    return true;
  }
  // Without WSARecvMsg no control message comes: both fields stay unknown,
  // and what the stack took in vain is told as refused.
  int error = WSAGetLastError();
  if (error == 0) error = WSAEOPNOTSUPP;
  if (refusals->tosError == 0) refusals->tosError = error;
  if (refusals->ttlError == 0) refusals->ttlError = error;
  return false;
}

}  // namespace windows
}  // namespace stampcast
