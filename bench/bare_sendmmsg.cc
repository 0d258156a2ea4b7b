// The machine's limit for the quiet sender: sendmmsg of 32 datagrams of 16
// bytes (or the size given) to the group a call, back to back, with nothing
// else in the loop.
#include <sys/uio.h>

#include "bare_send_common.h"

int main(int argc, char** argv) {
  bench::Target target;
  if (!bench::openTarget(argc, argv, &target)) return 1;
  constexpr unsigned kBatch = 32;
  unsigned char payload[kBatch][bench::kMaxPayload] = {};
  iovec parts[kBatch];
  mmsghdr messages[kBatch] = {};
  for (unsigned i = 0; i < kBatch; ++i) {
    parts[i] = {payload[i], target.size};
    messages[i].msg_hdr.msg_name = &target.group;
    messages[i].msg_hdr.msg_namelen = target.groupLength;
    messages[i].msg_hdr.msg_iov = &parts[i];
    messages[i].msg_hdr.msg_iovlen = 1;
  }
  const double end = bench::monotonicSeconds() + target.seconds;
  unsigned long long sent = 0, calls = 0;
  for (;;) {
    const int went = ::sendmmsg(target.socket, messages, kBatch, 0);
    if (went < 0) {
      std::perror("sendmmsg");
      return 1;
    }
    sent += static_cast<unsigned>(went);
    // Every 32 calls, about as often as the other loops look at the clock.
    if (++calls % 32 == 0 && bench::monotonicSeconds() >= end) break;
  }
  std::printf("%llu\n", sent);
  return 0;
}
