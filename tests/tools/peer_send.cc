// A test peer that sends chosen datagrams to a multicast group, a bounded
// number of times. It runs only inside the system tests' namespaces.
//
//   peer_send [-i ifaddr] [-l ttl] [-n rounds] [-w ms] group port payload...
//
// Payloads, sent in order, every round:
//   zeros:N                 N zero bytes
//   now                     the 16-byte timestamp of the local time now
//   time:Y-M-D,h:m:s.ms[/N] that timestamp (day of week worked out), cut
//                           to N bytes or filled up to N bytes with 0xA5
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

constexpr int kMaxRounds = 1000;
constexpr std::size_t kMaxPayload = 65507;

int usage() {
  std::fprintf(stderr,
               "usage: peer_send [-i ifaddr] [-l ttl] [-n rounds] [-w ms] "
               "group port payload...\n");
  return 1;
}

// Sunday is 0, as in the timestamp.
unsigned dayOfWeek(unsigned year, unsigned month, unsigned day) {
  static const unsigned offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) --year;
  return (year + year / 4 - year / 100 + year / 400 + offsets[(month - 1) % 12] +
          day) % 7;
}

std::vector<std::uint8_t> timestamp(const unsigned (&fields)[8]) {
  std::vector<std::uint8_t> bytes;
  for (unsigned field : fields) {
    bytes.push_back(static_cast<std::uint8_t>(field & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>((field >> 8) & 0xFF));
  }
  return bytes;
}

bool parsePayload(const std::string& word, std::vector<std::uint8_t>* out) {
  if (word.rfind("zeros:", 0) == 0) {
    const long n = std::strtol(word.c_str() + 6, nullptr, 10);
    if (n < 0 || static_cast<std::size_t>(n) > kMaxPayload) return false;
    out->assign(static_cast<std::size_t>(n), 0);
    return true;
  }
  if (word == "now") {
    timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    tm local;
    ::localtime_r(&now.tv_sec, &local);
    const unsigned fields[8] = {
        static_cast<unsigned>(local.tm_year + 1900),
        static_cast<unsigned>(local.tm_mon + 1),
        static_cast<unsigned>(local.tm_wday),
        static_cast<unsigned>(local.tm_mday),
        static_cast<unsigned>(local.tm_hour),
        static_cast<unsigned>(local.tm_min),
        static_cast<unsigned>(local.tm_sec),
        static_cast<unsigned>(now.tv_nsec / 1000000)};
    *out = timestamp(fields);
    return true;
  }
  unsigned y, mo, d, h, mi, s, ms;
  int consumed = 0;
  if (std::sscanf(word.c_str(), "time:%u-%u-%u,%u:%u:%u.%u%n", &y, &mo, &d, &h,
                  &mi, &s, &ms, &consumed) != 7 ||
      mo < 1 || mo > 12) {
    return false;
  }
  const unsigned fields[8] = {y, mo, dayOfWeek(y, mo, d), d, h, mi, s, ms};
  *out = timestamp(fields);
  const char* rest = word.c_str() + consumed;
  if (*rest == '/') {
    const long n = std::strtol(rest + 1, nullptr, 10);
    if (n < 0 || static_cast<std::size_t>(n) > kMaxPayload) return false;
    out->resize(static_cast<std::size_t>(n), 0xA5);
  } else if (*rest != '\0') {
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const char* interfaceAddress = nullptr;
  int ttl = 1, rounds = 1, waitMs = 0, opt;
  while ((opt = ::getopt(argc, argv, "i:l:n:w:")) != -1) {
    switch (opt) {
      case 'i': interfaceAddress = optarg; break;
      case 'l': ttl = std::atoi(optarg); break;
      case 'n': rounds = std::atoi(optarg); break;
      case 'w': waitMs = std::atoi(optarg); break;
      default: return usage();
    }
  }
  if (argc - optind < 3 || rounds < 1 || rounds > kMaxRounds || waitMs < 0 ||
      waitMs > 10000) {
    return usage();
  }
  sockaddr_in destination{};
  destination.sin_family = AF_INET;
  destination.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[optind + 1])));
  if (::inet_pton(AF_INET, argv[optind], &destination.sin_addr) != 1) return usage();
  std::vector<std::vector<std::uint8_t>> payloads;
  for (int i = optind + 2; i < argc; ++i) {
    std::vector<std::uint8_t> payload;
    if (!parsePayload(argv[i], &payload)) {
      std::fprintf(stderr, "peer_send: bad payload %s\n", argv[i]);
      return 1;
    }
    payloads.push_back(payload);
  }

  const int fd = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (fd < 0 ||
      ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0) {
    std::perror("peer_send: socket");
    return 1;
  }
  if (interfaceAddress != nullptr) {
    in_addr local{};
    if (::inet_pton(AF_INET, interfaceAddress, &local) != 1 ||
        ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &local, sizeof local) != 0) {
      std::perror("peer_send: interface");
      return 1;
    }
  }
  int sent = 0;
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t i = 0; i < payloads.size(); ++i) {
      if (payloads[i].size() == 16 && std::string(argv[optind + 2 + i]) == "now") {
        parsePayload("now", &payloads[i]);  // a fresh reading every time
      }
      if (::sendto(fd, payloads[i].data(), payloads[i].size(), 0,
                   reinterpret_cast<const sockaddr*>(&destination),
                   sizeof destination) < 0) {
        std::perror("peer_send: sendto");
        return 1;
      }
      ++sent;
      if (waitMs > 0) ::usleep(static_cast<useconds_t>(waitMs) * 1000);
    }
  }
  std::printf("sent %d\n", sent);
  return 0;
}
