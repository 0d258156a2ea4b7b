// The receiver's batches (recvmmsg), and what the IP layer delivers with
// each datagram for a receiver that measures the path.
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/posix/posix_platform.h"

namespace stampcast {
namespace posix {
namespace {

// Room for the control messages of one datagram: the DS byte (or traffic
// class), the TTL (or hop limit) and the kernel's receive stamp, each with
// its header.
constexpr std::size_t kControlSize =
    CMSG_SPACE(sizeof(int)) * 2 + CMSG_SPACE(sizeof(timespec));

int switchOn(int socket, int level, int option) {
  const int on = 1;
  return ::setsockopt(socket, level, option, &on, sizeof on) == 0 ? 0 : errno;
}

// Reads the control messages of one received datagram into its record and
// the kernel's receive stamp, where they are.
void readControl(const msghdr& header, Arrival* arrival, timespec* stamp) {
  for (const cmsghdr* message = CMSG_FIRSTHDR(&header); message != nullptr;
       message = CMSG_NXTHDR(const_cast<msghdr*>(&header),
                             const_cast<cmsghdr*>(message))) {
    const unsigned char* data = CMSG_DATA(message);
    const std::size_t length = message->cmsg_len - CMSG_LEN(0);
    if (message->cmsg_level == IPPROTO_IP && message->cmsg_type == IP_TOS &&
        length >= 1) {
      arrival->tos = data[0];
    } else if (message->cmsg_level == IPPROTO_IP &&
               message->cmsg_type == IP_TTL && length >= sizeof(int)) {
      int ttl;
      std::memcpy(&ttl, data, sizeof ttl);
      arrival->ttl = ttl;
    } else if (message->cmsg_level == IPPROTO_IPV6 &&
               (message->cmsg_type == IPV6_TCLASS ||
                message->cmsg_type == IPV6_HOPLIMIT) &&
               length >= sizeof(int)) {
      int value;
      std::memcpy(&value, data, sizeof value);
      (message->cmsg_type == IPV6_TCLASS ? arrival->tos : arrival->ttl) = value;
    } else if (message->cmsg_level == SOL_SOCKET &&
               message->cmsg_type == SCM_TIMESTAMPNS &&
               length >= sizeof(timespec)) {
      std::memcpy(stamp, data, sizeof *stamp);
    }
  }
}

}  // namespace

ArrivalRefusals PosixPlatform::enableArrivals(SocketHandle socket,
                                              std::uint16_t family) {
  const int fd = static_cast<int>(socket);
  ArrivalRefusals refusals;
  if (family == kAddressFamilyInet6) {
    refusals.tosError = switchOn(fd, IPPROTO_IPV6, IPV6_RECVTCLASS);
    refusals.ttlError = switchOn(fd, IPPROTO_IPV6, IPV6_RECVHOPLIMIT);
  } else {
    refusals.tosError = switchOn(fd, IPPROTO_IP, IP_RECVTOS);
    refusals.ttlError = switchOn(fd, IPPROTO_IP, IP_RECVTTL);
  }
  // Without the kernel's stamp, the clock read after the receive serves.
  switchOn(fd, SOL_SOCKET, SO_TIMESTAMPNS);
  return refusals;
}

namespace {

// The records of one recvmmsg: each slot, and with arrivals, the sender's
// address and the control messages.
struct Batch {
  mmsghdr messages[Platform::kMaxBatch];
  iovec parts[Platform::kMaxBatch];
  sockaddr_storage senders[Platform::kMaxBatch];
  alignas(cmsghdr) unsigned char controls[Platform::kMaxBatch][kControlSize];

  void prepare(void* slots, int slotLength, int count, bool arrivals) {
    std::memset(messages, 0, sizeof messages);
    auto* next = static_cast<char*>(slots);
    for (int i = 0; i < count; ++i, next += slotLength) {
      parts[i].iov_base = next;
      parts[i].iov_len = static_cast<std::size_t>(slotLength);
      messages[i].msg_hdr.msg_iov = &parts[i];
      messages[i].msg_hdr.msg_iovlen = 1;
      if (arrivals) {
        messages[i].msg_hdr.msg_name = &senders[i];
        messages[i].msg_hdr.msg_namelen = sizeof senders[i];
        messages[i].msg_hdr.msg_control = controls[i];
        messages[i].msg_hdr.msg_controllen = sizeof controls[i];
      }
    }
  }
};

}  // namespace

int PosixPlatform::receiveBatch(SocketHandle socket, void* slots,
                                int slotLength, int count, int* lengths,
                                Arrival* arrivals) {
  const int fd = static_cast<int>(socket);
  if (count > kMaxBatch) count = kMaxBatch;
  Batch batch;
  batch.prepare(slots, slotLength, count, arrivals != nullptr);
  // MSG_WAITFORONE: block for the first datagram only, so that none waits
  // for a batch to fill. Linux cuts a longer datagram to its slot; with
  // MSG_TRUNC msg_len is the datagram's full length, of which the length
  // handed back keeps what fitted. A receiver that catches stop requests takes
  // what is queued, and waits in ppoll only when nothing is, where a stop
  // request can end the wait.
  int received;
  for (;;) {
    received = settle(::recvmmsg(fd, batch.messages,
                                 static_cast<unsigned>(count),
                                 MSG_WAITFORONE | MSG_TRUNC |
                                     (catchingStops_ ? MSG_DONTWAIT : 0),
                                 nullptr));
    if (received != kSocketError || !catchingStops_ ||
        (lastSocketError_ != EAGAIN && lastSocketError_ != EINTR)) {
      break;
    }
    if (!waitUnlessStopped(fd)) return 0;
  }
  for (int i = 0; i < received; ++i) {
    const int size = static_cast<int>(batch.messages[i].msg_len);
    lengths[i] = size < slotLength ? size : slotLength;
  }
  if (received > 0 && arrivals != nullptr) {
    readArrivals(batch.messages, batch.senders, received, arrivals);
  }
  return received;
}

void PosixPlatform::readArrivals(const mmsghdr* messages,
                                 const sockaddr_storage* senders,
                                 int received, Arrival* arrivals) {
  // The kernel stamps on the real-time clock; the intervals count on the
  // steady one. Both are read once, and each stamp is placed on the steady
  // clock by its distance from now.
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const std::int64_t steadyNow = steadyNanoseconds();
  for (int i = 0; i < received; ++i) {
    Arrival& arrival = arrivals[i];
    arrival = Arrival{};
    arrival.from = fromSystem(senders[i]);
    arrival.size = static_cast<int>(messages[i].msg_len);
    timespec stamp = now;
    readControl(messages[i].msg_hdr, &arrival, &stamp);
    localTimeAt(stamp, &arrival.local);
    arrival.utcNanoseconds =
        static_cast<std::int64_t>(stamp.tv_sec) * 1000000000 + stamp.tv_nsec;
    const std::int64_t before =
        (static_cast<std::int64_t>(now.tv_sec) - stamp.tv_sec) * 1000000000 +
        (now.tv_nsec - stamp.tv_nsec);
    arrival.steadyNanoseconds = steadyNow - before;
  }
}

}  // namespace posix
}  // namespace stampcast
