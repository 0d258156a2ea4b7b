// The system tests' peer: sends chosen datagrams to a group, floods it with
// hostile ones, or shows what arrives and with which DS field. It runs only
// inside the namespaces the system tests make.
//
//   peer send [-w ms] group port payload...
//     zeros:N, now, or time:Y-M-D,h:m:s.ms[/N] (cut to, or filled with 0xA5
//     up to, N bytes), -w ms apart.
//   peer flood [-n count] [-r per-second] seed group port
//     random sizes 0..65507 and contents mixed with whole, cut and nearly
//     valid timestamps; the same seed gives the same datagrams, apart from
//     those that carry the time now. One line per datagram, in order:
//     <size> <V|I> <hour> <minute> <second> <ms> <month> <day> <year>
//     V: 16 bytes or more whose fields are a time a clock takes. The fields
//     are those of the first 16 bytes, missing bytes read as 0.
//   peer probe [-n count] [-t ms] group port
//     joins, prints "ready", one "len=16 tos=0xb8" line a datagram, and
//     "received N"; status 2 when fewer than count arrived in time.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;
// year, month, weekday, day, hour, minute, second, ms: the wire order.
using Fields = std::array<unsigned, 8>;

constexpr std::size_t kMaxPayload = 65507;

Fields now() {
  timespec t;
  ::clock_gettime(CLOCK_REALTIME, &t);
  tm l;
  ::localtime_r(&t.tv_sec, &l);
  return {unsigned(l.tm_year + 1900), unsigned(l.tm_mon + 1), unsigned(l.tm_wday),
          unsigned(l.tm_mday), unsigned(l.tm_hour), unsigned(l.tm_min),
          unsigned(l.tm_sec), unsigned(t.tv_nsec / 1000000)};
}

void put(Bytes& bytes, const Fields& f) {
  if (bytes.size() < 16) bytes.resize(16);
  for (int i = 0; i < 8; ++i) {
    bytes[2 * i] = f[i] & 0xFF;
    bytes[2 * i + 1] = (f[i] >> 8) & 0xFF;
  }
}

Fields fieldsOf(const Bytes& bytes) {
  Fields f{};
  for (std::size_t i = 0; i < 16 && i < bytes.size(); ++i) f[i / 2] |= bytes[i] << (8 * (i % 2));
  return f;
}

// The years 1601 to 30827 are those a Windows clock takes.
bool calendarTime(const Fields& f) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (f[0] < 1601 || f[0] > 30827 || f[1] < 1 || f[1] > 12) return false;
  const bool leap = f[0] % 4 == 0 && (f[0] % 100 != 0 || f[0] % 400 == 0);
  return f[3] >= 1 && f[3] <= kDays[f[1] - 1] + (f[1] == 2 && leap) && f[4] < 24 &&
         f[5] < 60 && f[6] < 60 && f[7] < 1000;
}

bool sendTo(int fd, const sockaddr_in& to, const Bytes& bytes) {
  return ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                  sizeof to) == static_cast<ssize_t>(bytes.size());
}

bool payload(const std::string& word, Bytes* out) {
  unsigned y, mo, d, h, mi, s, ms;
  int used = 0;
  long size = -1;
  if (word == "now") {
    put(*out, now());
  } else if (std::sscanf(word.c_str(), "zeros:%ld", &size) == 1) {
    out->assign(std::size_t(size < 0 ? 0 : size), 0);
  } else if (std::sscanf(word.c_str(), "time:%u-%u-%u,%u:%u:%u.%u%n", &y, &mo, &d, &h, &mi,
                         &s, &ms, &used) == 7) {
    // The weekday is carried, never examined: 0 does.
    put(*out, {y, mo, 0, d, h, mi, s, ms});
    if (word[used] == '/') size = std::atol(word.c_str() + used + 1);
    if (size >= 0) out->resize(std::size_t(size), 0xA5);
  } else {
    return false;
  }
  return out->size() <= kMaxPayload;
}

int send(int fd, const sockaddr_in& to, int waitMs, char** words, int count) {
  for (int i = 0; i < count; ++i) {
    Bytes bytes;
    if (!payload(words[i], &bytes)) return std::fprintf(stderr, "bad payload %s\n", words[i]), 1;
    if (!sendTo(fd, to, bytes)) return std::perror("sendto"), 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
  }
  return 0;
}

// Whole timestamps at the calendar's edges, and ones a field past an edge.
const Fields kValid[] = {{1601, 1, 1, 1, 0, 0, 0, 0}, {30827, 12, 0, 31, 23, 59, 59, 999},
                         {2024, 2, 4, 29, 12, 0, 0, 0}, {2000, 2, 2, 29, 0, 0, 0, 0}};
const Fields kNearlyValid[] = {
    {1600, 12, 0, 31, 23, 59, 59, 999}, {30828, 1, 0, 1, 0, 0, 0, 0}, {2023, 2, 3, 29, 0, 0, 0, 0},
    {1900, 2, 3, 29, 0, 0, 0, 0},       {2023, 4, 0, 31, 0, 0, 0, 0}, {2023, 0, 0, 1, 0, 0, 0, 0},
    {2023, 13, 0, 1, 0, 0, 0, 0},       {2023, 1, 0, 0, 0, 0, 0, 0},  {2023, 1, 0, 1, 24, 0, 0, 0},
    {2023, 1, 0, 1, 0, 60, 0, 0},       {2023, 1, 0, 1, 0, 0, 60, 0},
    {2023, 1, 0, 1, 0, 0, 0, 1000},     {65535, 65535, 65535, 65535, 65535, 65535, 65535, 65535}};
// Where a 100-byte receive buffer and a 16-byte record could slip.
const std::size_t kEdgeSizes[] = {0, 1, 15, 16, 17, 99, 100, 101, kMaxPayload};

class Hostile {
 public:
  explicit Hostile(std::uint64_t seed) : random_(seed), pool_(2 * kMaxPayload) {
    for (auto& byte : pool_) byte = random_() & 0xFF;
  }
  Bytes next() {
    const unsigned kind = pick(100);
    if (kind < 35) return slice(pick(kMaxPayload + 1));
    if (kind < 60) return slice(pick(129));
    if (kind < 70) return slice(kEdgeSizes[pick(std::size(kEdgeSizes))]);
    Bytes bytes = slice(pick(2) ? 16 : 16 + pick(kMaxPayload - 15));
    if (kind < 85) {
      Fields f = pick(2) ? now() : kValid[pick(std::size(kValid))];
      f[2] = pick(65536);
      put(bytes, f);
    } else if (kind < 92) {
      put(bytes, now());
      bytes.resize(pick(16));  // a whole timestamp cut short
    } else {
      put(bytes, kNearlyValid[pick(std::size(kNearlyValid))]);
    }
    return bytes;
  }

 private:
  unsigned pick(std::size_t bound) { return unsigned(random_() % bound); }
  Bytes slice(std::size_t size) {
    const auto from = pool_.begin() + pick(pool_.size() - size + 1);
    return Bytes(from, from + size);
  }
  std::mt19937_64 random_;
  Bytes pool_;
};

// The bytes waiting in the socket bound to 0.0.0.0:port (the receiver's, as
// /proc/net/udp of this namespace shows it), or -1 when there is none.
long receiveQueue(unsigned port) {
  FILE* table = std::fopen("/proc/net/udp", "r");
  if (table == nullptr) return -1;
  char line[512], local[64], wanted[32];
  std::snprintf(wanted, sizeof wanted, "00000000:%04X", port);
  unsigned long rx = 0;
  long queue = -1;
  while (queue < 0 && std::fgets(line, sizeof line, table) != nullptr) {
    if (std::sscanf(line, " %*d: %63s %*s %*s %*x:%lx", local, &rx) == 2 &&
        std::strcmp(local, wanted) == 0) {
      queue = long(rx);
    }
  }
  std::fclose(table);
  return queue;
}

// Sends only while the receiver keeps up: at most 48 KiB wait in its socket,
// well under the default buffer even with one more 64 KiB datagram. Gives
// up after 45 s, so that a stuck receiver cannot hold the peer.
int flood(int fd, const sockaddr_in& to, unsigned port, int count, int perSecond,
          std::uint64_t seed) {
  Hostile hostile(seed);
  const auto start = Clock::now();
  const auto deadline = start + std::chrono::seconds(45);
  auto awaitRoom = [&](long limit) {
    for (;;) {
      const long queue = receiveQueue(port);
      if (queue < 0 || Clock::now() > deadline) return false;
      if (queue <= limit) return true;
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  };
  for (int i = 0; i < count; ++i) {
    std::this_thread::sleep_until(start + i * std::chrono::nanoseconds(1000000000 / perSecond));
    if (!awaitRoom(48 * 1024)) return std::fprintf(stderr, "receiver stuck at %d\n", i), 2;
    const Bytes bytes = hostile.next();
    if (!sendTo(fd, to, bytes)) return std::perror("sendto"), 1;
    const Fields f = fieldsOf(bytes);
    std::printf("%zu %c %u %u %u %u %u %u %u\n", bytes.size(),
                bytes.size() >= 16 && calendarTime(f) ? 'V' : 'I', f[4], f[5], f[6], f[7], f[1],
                f[3], f[0]);
  }
  return awaitRoom(0) ? 0 : (std::fprintf(stderr, "receiver did not drain\n"), 2);
}

int probe(int fd, const sockaddr_in& group, int count, int timeoutMs) {
  setvbuf(stdout, nullptr, _IOLBF, 0);  // the tests read it while it runs
  sockaddr_in local = group;
  local.sin_addr.s_addr = INADDR_ANY;
  ip_mreq membership{group.sin_addr, {INADDR_ANY}};
  const int on = 1, off = 0;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      ::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) != 0 ||
      ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_ALL, &off, sizeof off) != 0 ||
      ::setsockopt(fd, IPPROTO_IP, IP_RECVTOS, &on, sizeof on) != 0) {
    return std::perror("probe"), 1;
  }
  std::printf("ready\n");
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  int received = 0;
  for (pollfd wait{fd, POLLIN, 0}; received < count && Clock::now() < deadline;) {
    using std::chrono::milliseconds;
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    if (::poll(&wait, 1, int(left.count()) + 1) <= 0) continue;
    std::uint8_t data[2048];
    alignas(cmsghdr) char control[64];
    iovec part{data, sizeof data};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t length = ::recvmsg(fd, &message, 0);
    if (length < 0) return std::perror("recvmsg"), 1;
    int tos = -1;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
      if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TOS) tos = *CMSG_DATA(c);
    }
    std::printf("len=%zd tos=0x%02x\n", length, tos & 0xFF);
    ++received;
  }
  std::printf("received %d\n", received);
  return received == count ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  int count = 1, perSecond = 5000, ms = mode == "probe" ? 3000 : 0, opt;
  while ((opt = ::getopt(argc - 1, argv + 1, "n:r:t:w:")) != -1) {
    if (opt == '?') return 1;
    (opt == 'n' ? count : opt == 'r' ? perSecond : ms) = std::atoi(optarg);
  }
  char** rest = argv + 1 + optind;
  const int words = argc - 1 - optind;
  const bool seeded = mode == "flood";
  sockaddr_in to{};
  to.sin_family = AF_INET;
  if (words < 2 + seeded || count < 1 || count > 200000 || perSecond < 1 || ms < 0 ||
      ms > 60000 || ::inet_pton(AF_INET, rest[seeded], &to.sin_addr) != 1) {
    std::fprintf(stderr, "usage: peer send|flood|probe ... (see peer.cc)\n");
    return 1;
  }
  const unsigned port = std::atoi(rest[seeded + 1]) & 0xFFFF;
  to.sin_port = htons(std::uint16_t(port));
  const int fd = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (fd < 0) return std::perror("socket"), 1;
  if (mode == "send") return send(fd, to, ms, rest + 2, words - 2);
  if (mode == "flood") {
    return flood(fd, to, port, count, perSecond, std::strtoull(rest[0], nullptr, 10));
  }
  if (mode == "probe") return probe(fd, to, count, ms);
  return 1;
}
