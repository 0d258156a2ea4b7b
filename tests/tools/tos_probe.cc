// A test receiver that shows what arrived on the wire: it joins a group,
// receives up to a count of datagrams within a time limit and prints, for
// each, its length, the DS field of its IP header and the timestamp fields
// its first 16 bytes carry. It runs only inside the system tests'
// namespaces.
//
//   tos_probe [-i ifaddr] [-n count] [-t timeout_ms] group port
//
// Prints "ready" once it is a member of the group, then one line a datagram:
//   len=16 tos=0x80 dscp=32 time=2008-03-17 14:05:30.250 dow=1
// and "received N" at the end. Status 0 when count datagrams arrived, 2 when
// the time ran out first, 1 on any other failure.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: tos_probe [-i ifaddr] [-n count] [-t timeout_ms] group "
               "port\n");
  return 1;
}

unsigned field(const std::uint8_t* bytes, int index) {
  return bytes[2 * index] | (bytes[2 * index + 1] << 8);
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IOLBF, 0);  // the tests read it while it runs
  const char* interfaceAddress = nullptr;
  int count = 1, timeoutMs = 3000, opt;
  while ((opt = ::getopt(argc, argv, "i:n:t:")) != -1) {
    switch (opt) {
      case 'i': interfaceAddress = optarg; break;
      case 'n': count = std::atoi(optarg); break;
      case 't': timeoutMs = std::atoi(optarg); break;
      default: return usage();
    }
  }
  if (argc - optind != 2 || count < 1 || count > 10000 || timeoutMs < 0 ||
      timeoutMs > 60000) {
    return usage();
  }
  ip_mreq membership{};
  if (::inet_pton(AF_INET, argv[optind], &membership.imr_multiaddr) != 1 ||
      (interfaceAddress != nullptr &&
       ::inet_pton(AF_INET, interfaceAddress, &membership.imr_interface) != 1)) {
    return usage();
  }
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[optind + 1])));
  const int fd = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  const int on = 1, off = 0;
  if (fd < 0 ||
      ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      ::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership,
                   sizeof membership) != 0 ||
      ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_ALL, &off, sizeof off) != 0 ||
      ::setsockopt(fd, IPPROTO_IP, IP_RECVTOS, &on, sizeof on) != 0) {
    std::perror("tos_probe");
    return 1;
  }
  std::printf("ready\n");

  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int received = 0;
  while (received < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd wait{fd, POLLIN, 0};
    if (::poll(&wait, 1, static_cast<int>(left.count())) <= 0) continue;

    std::uint8_t data[2048];
    alignas(cmsghdr) char control[64];
    iovec part{data, sizeof data};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t length = ::recvmsg(fd, &message, 0);
    if (length < 0) {
      std::perror("tos_probe: recvmsg");
      return 1;
    }
    int tos = -1;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr;
         c = CMSG_NXTHDR(&message, c)) {
      if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TOS) {
        tos = *reinterpret_cast<const std::uint8_t*>(CMSG_DATA(c));
      }
    }
    // A shorter payload shows zeros for the fields it does not carry.
    std::uint8_t fields[16] = {};
    std::memcpy(fields, data, length < 16 ? static_cast<std::size_t>(length) : 16);
    std::printf("len=%zd tos=0x%02x dscp=%d time=%04u-%02u-%02u "
                "%02u:%02u:%02u.%03u dow=%u\n",
                length, tos & 0xFF, tos < 0 ? -1 : tos >> 2, field(fields, 0),
                field(fields, 1), field(fields, 3), field(fields, 4),
                field(fields, 5), field(fields, 6), field(fields, 7),
                field(fields, 2));
    ++received;
  }
  std::printf("received %d\n", received);
  return received == count ? 0 : 2;
}
