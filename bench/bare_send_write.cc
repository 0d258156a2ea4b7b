// The limit for a sender that reports every datagram: the bare send loop
// plus one write of a report line (about as long as stampcast's) to
// standard output per datagram.
#include <unistd.h>

#include "bare_send_common.h"

int main(int argc, char** argv) {
  bench::Target target;
  if (!bench::openTarget(argc, argv, &target)) return 1;
  const double end = bench::monotonicSeconds() + target.seconds;
  unsigned char payload[bench::kMaxPayload] = {};
  char line[128];
  unsigned long long sent = 0;
  for (;;) {
    if (::sendto(target.socket, payload, target.size, 0,
                 reinterpret_cast<const sockaddr*>(&target.group),
                 target.groupLength) < 0) {
      std::perror("sendto");
      return 1;
    }
    const int length = std::snprintf(
        line, sizeof line,
        "Sent Time 12:34:56:789 on 01-02-2024 to: 239.1.1.1:1234 tos:32 "
        "ttl:1 seq:%llu\n",
        sent);
    if (::write(STDOUT_FILENO, line, static_cast<size_t>(length)) < 0) {
      std::perror("write");
      return 1;
    }
    ++sent;
    if (sent % bench::kClockCheckEvery == 0 &&
        bench::monotonicSeconds() >= end) {
      break;
    }
  }
  return 0;
}
