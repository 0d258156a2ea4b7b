// The limit for a receiver that reports every datagram: recvmmsg of up to 32
// datagrams (waiting for the first only), then one write of a report line
// per datagram (about as long as stampcast's), all of a batch in one write.
// The socket is set up as stampcast's receiver sets up its own: bound to the
// port, joined to the group, the same receive buffer asked for.
//
// Usage: bare_recvmmsg [seconds [group [port]]]; defaults 3 s, 239.1.1.1:1234.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

double monotonicSeconds() {
  timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

char* writeCount(char* out, unsigned long long value) {
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count > 0) *out++ = digits[--count];
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  const char* group = argc > 2 ? argv[2] : "239.1.1.1";
  const int port = argc > 3 ? std::atoi(argv[3]) : 1234;
  if (seconds <= 0 || seconds > 600) {
    std::fprintf(stderr, "seconds must be in (0, 600]\n");
    return 1;
  }
  const int fd = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  const int off = 0, buffer = 4096 * 1024 / 2;
  // A timeout, so that the loop sees its end also when nothing arrives.
  const timeval wake{0, 100 * 1000};
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<unsigned short>(port));
  ip_mreq membership{};
  membership.imr_multiaddr.s_addr = ::inet_addr(group);
  if (fd < 0 ||
      ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_ALL, &off, sizeof off) != 0 ||
      ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer) != 0 ||
      ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wake, sizeof wake) != 0 ||
      ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      ::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership,
                   sizeof membership) != 0) {
    std::perror("socket setup");
    return 1;
  }
  std::printf("Receiving...\n");
  std::fflush(stdout);

  constexpr unsigned kBatch = 32;
  static const char kLine[] = "Received Time 12:34:56:789 on 01-02-2024 seq:";
  unsigned char slots[kBatch][100];
  iovec parts[kBatch];
  mmsghdr messages[kBatch] = {};
  for (unsigned i = 0; i < kBatch; ++i) {
    parts[i] = {slots[i], sizeof slots[i]};
    messages[i].msg_hdr.msg_iov = &parts[i];
    messages[i].msg_hdr.msg_iovlen = 1;
  }
  char text[kBatch * 96];
  const double end = monotonicSeconds() + seconds;
  unsigned long long seq = 0;
  while (monotonicSeconds() < end) {
    const int got = ::recvmmsg(fd, messages, kBatch, MSG_WAITFORONE, nullptr);
    if (got <= 0) continue;  // the timeout: look at the clock again
    char* out = text;
    for (int i = 0; i < got; ++i) {
      std::memcpy(out, kLine, sizeof kLine - 1);
      out = writeCount(out + sizeof kLine - 1, seq++);
      *out++ = '\n';
    }
    if (::write(STDOUT_FILENO, text, static_cast<size_t>(out - text)) < 0) {
      std::perror("write");
      return 1;
    }
  }
  return 0;
}
