// The machine's limit for the sender: sendto of a 16-byte datagram (or the
// size given) to the group, back to back, with nothing else in the loop.
#include <unistd.h>

#include "bare_send_common.h"

int main(int argc, char** argv) {
  bench::Target target;
  if (!bench::openTarget(argc, argv, &target)) return 1;
  const double end = bench::monotonicSeconds() + target.seconds;
  unsigned char payload[bench::kMaxPayload] = {};
  unsigned long long sent = 0;
  for (;;) {
    if (::sendto(target.socket, payload, target.size, 0,
                 reinterpret_cast<const sockaddr*>(&target.group),
                 target.groupLength) < 0) {
      std::perror("sendto");
      return 1;
    }
    ++sent;
    if (sent % bench::kClockCheckEvery == 0 &&
        bench::monotonicSeconds() >= end) {
      break;
    }
  }
  std::printf("%llu\n", sent);
  return 0;
}
