// What the bare send loops share: a UDP socket set up as stampcast's sender
// sets up its own (multicast TTL 1, the TOS byte the marking layer gives a
// DS class of 32), the datagram's size, and a clock to bound each loop in
// time.
#ifndef STAMPCAST_BENCH_BARE_SEND_COMMON_H_
#define STAMPCAST_BENCH_BARE_SEND_COMMON_H_

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bench {

// The largest datagram the loops send: a measuring sender's is 48 bytes.
constexpr unsigned kMaxPayload = 1472;

struct Target {
  int socket = -1;
  sockaddr_storage group{};  // a sockaddr_in, or a sockaddr_in6
  socklen_t groupLength = 0;
  double seconds = 3.0;
  unsigned size = 16;  // bytes a datagram: stampcast's 16, or 48 with -m
};

// Usage: <program> [seconds [group [port [size]]]]; defaults 3 s,
// 239.1.1.1:1234, 16 bytes. A group with a ':' is an IPv6 one, sent to as
// stampcast sends to it (hop limit 1, the traffic class of DS class 32).
inline bool openTarget(int argc, char** argv, Target* target) {
  target->seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  const char* group = argc > 2 ? argv[2] : "239.1.1.1";
  const int port = argc > 3 ? std::atoi(argv[3]) : 1234;
  const int size = argc > 4 ? std::atoi(argv[4]) : 16;
  if (target->seconds <= 0 || target->seconds > 600) {
    std::fprintf(stderr, "seconds must be in (0, 600]\n");
    return false;
  }
  if (size < 1 || size > static_cast<int>(kMaxPayload)) {
    std::fprintf(stderr, "size must be in [1, %u]\n", kMaxPayload);
    return false;
  }
  target->size = static_cast<unsigned>(size);
  const bool six = std::strchr(group, ':') != nullptr;
  target->socket = ::socket(six ? AF_INET6 : AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (target->socket < 0) {
    std::perror("socket");
    return false;
  }
  const int ttl = 1;
  const int tos = 32 << 2;
  const int level = six ? IPPROTO_IPV6 : IPPROTO_IP;
  if (::setsockopt(target->socket, level, six ? IPV6_MULTICAST_HOPS : IP_MULTICAST_TTL,
                   &ttl, sizeof ttl) != 0 ||
      ::setsockopt(target->socket, level, six ? IPV6_TCLASS : IP_TOS, &tos,
                   sizeof tos) != 0) {
    std::perror("setsockopt");
    return false;
  }
  if (six) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&target->group);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(static_cast<unsigned short>(port));
    ::inet_pton(AF_INET6, group, &in6->sin6_addr);
    target->groupLength = sizeof *in6;
    return true;
  }
  auto* in = reinterpret_cast<sockaddr_in*>(&target->group);
  in->sin_family = AF_INET;
  in->sin_port = htons(static_cast<unsigned short>(port));
  in->sin_addr.s_addr = ::inet_addr(group);
  target->groupLength = sizeof *in;
  return true;
}

inline double monotonicSeconds() {
  timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

// Checking the clock every 1024 datagrams keeps its cost out of the figure.
constexpr unsigned kClockCheckEvery = 1024;

}  // namespace bench

#endif  // STAMPCAST_BENCH_BARE_SEND_COMMON_H_
