// A test peer that floods a multicast group with datagrams of random sizes
// (0 to 65507 bytes) and random content, mixed with whole and nearly whole
// timestamps, and logs each one so that a test can match the receiver's
// report line by line. It runs only inside the system tests' namespaces.
//
//   hostile_peer [-n count] [-r per-second] [-t seconds] seed group port
//
// The same seed gives the same datagrams, apart from those carrying the
// local time now. Sending waits while the receiving socket (the one bound to
// port on any address, as /proc/net/udp of this namespace shows it) holds
// more than a few datagrams' worth of bytes, so that a slow receiver is not
// overrun. Every wait is bounded: the run gives up after -t seconds.
//
// One line per datagram on standard output, in the order sent:
//   <size> <V|I> <hour> <minute> <second> <ms> <month> <day> <year>
// V: at least 16 bytes whose fields form a calendar time a clock accepts;
// I: anything else. The fields are those of the first 16 bytes, a short
// datagram's missing bytes read as 0.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

constexpr std::size_t kMaxPayload = 65507;
constexpr int kMaxCount = 200000;
// Bytes (as the kernel accounts them) allowed to wait in the receiving
// socket before the next send: well under the default 208 KiB buffer even
// with one more 64 KiB datagram on top.
constexpr long kQueueLimit = 48 * 1024;

int usage() {
  std::fprintf(stderr,
               "usage: hostile_peer [-n count] [-r per-second] [-t seconds] "
               "seed group port\n");
  return 1;
}

struct Fields {
  unsigned year, month, weekday, day, hour, minute, second, ms;
};

bool leapYear(unsigned year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

// The years 1601 to 30827 are those a Windows clock takes.
bool calendarTime(const Fields& f) {
  static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30,
                                     31, 31, 30, 31, 30, 31};
  if (f.year < 1601 || f.year > 30827 || f.month < 1 || f.month > 12) {
    return false;
  }
  const unsigned days = kDays[f.month - 1] + (f.month == 2 && leapYear(f.year));
  return f.day >= 1 && f.day <= days && f.hour < 24 && f.minute < 60 &&
         f.second < 60 && f.ms < 1000;
}

void put(std::vector<std::uint8_t>& bytes, const Fields& f) {
  const unsigned words[8] = {f.year, f.month,  f.weekday, f.day,
                             f.hour, f.minute, f.second,  f.ms};
  for (int i = 0; i < 8; ++i) {
    bytes[2 * i] = static_cast<std::uint8_t>(words[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<std::uint8_t>((words[i] >> 8) & 0xFF);
  }
}

// The fields as a receiver reads them from the first 16 bytes.
Fields read(const std::vector<std::uint8_t>& payload) {
  std::uint8_t head[16] = {};
  for (std::size_t i = 0; i < payload.size() && i < 16; ++i) head[i] = payload[i];
  unsigned w[8];
  for (int i = 0; i < 8; ++i) w[i] = head[2 * i] | (head[2 * i + 1] << 8);
  return Fields{w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7]};
}

Fields localTimeNow() {
  timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  tm local;
  ::localtime_r(&now.tv_sec, &local);
  return Fields{static_cast<unsigned>(local.tm_year + 1900),
                static_cast<unsigned>(local.tm_mon + 1),
                static_cast<unsigned>(local.tm_wday),
                static_cast<unsigned>(local.tm_mday),
                static_cast<unsigned>(local.tm_hour),
                static_cast<unsigned>(local.tm_min),
                static_cast<unsigned>(local.tm_sec),
                static_cast<unsigned>(now.tv_nsec / 1000000)};
}

// Whole timestamps at the edges of the calendar, and ones a single field
// past an edge.
const Fields kValid[] = {
    {1601, 1, 1, 1, 0, 0, 0, 0},       {30827, 12, 0, 31, 23, 59, 59, 999},
    {2024, 2, 4, 29, 12, 0, 0, 0},     {2000, 2, 2, 29, 0, 0, 0, 0},
    {2008, 3, 1, 17, 14, 5, 30, 250},  {2023, 4, 0, 30, 1, 2, 3, 4},
};
const Fields kNearlyValid[] = {
    {1600, 12, 0, 31, 23, 59, 59, 999}, {30828, 1, 0, 1, 0, 0, 0, 0},
    {2023, 2, 3, 29, 0, 0, 0, 0},       {1900, 2, 3, 29, 0, 0, 0, 0},
    {2023, 4, 0, 31, 0, 0, 0, 0},       {2023, 0, 0, 1, 0, 0, 0, 0},
    {2023, 13, 0, 1, 0, 0, 0, 0},       {2023, 1, 0, 0, 0, 0, 0, 0},
    {2023, 1, 0, 32, 0, 0, 0, 0},       {2023, 1, 0, 1, 24, 0, 0, 0},
    {2023, 1, 0, 1, 0, 60, 0, 0},       {2023, 1, 0, 1, 0, 0, 60, 0},
    {2023, 1, 0, 1, 0, 0, 0, 1000},     {65535, 65535, 65535, 65535, 65535,
                                         65535, 65535, 65535},
};

// Sizes where a receiver with a 100-byte buffer and a 16-byte record could
// slip: nothing, one short of the record, the record, the buffer and past
// it, the largest UDP payload over IPv4.
const std::size_t kEdgeSizes[] = {0, 1, 15, 16, 17, 99, 100, 101, 65507};

class Generator {
 public:
  explicit Generator(std::uint64_t seed) : random_(seed) {
    // One pool of random bytes, sliced at random offsets: cheap content
    // for 64 KiB datagrams.
    pool_.resize(2 * kMaxPayload);
    for (std::size_t i = 0; i + 8 <= pool_.size(); i += 8) {
      const std::uint64_t word = random_();
      std::memcpy(&pool_[i], &word, 8);
    }
  }

  std::vector<std::uint8_t> next() {
    const unsigned kind = pick(100);
    std::vector<std::uint8_t> payload;
    if (kind < 35) {
      fill(payload, pick(kMaxPayload + 1));
    } else if (kind < 60) {
      fill(payload, pick(129));  // around the record and the buffer
    } else if (kind < 70) {
      fill(payload, kEdgeSizes[pick(sizeof kEdgeSizes / sizeof kEdgeSizes[0])]);
    } else if (kind < 85) {
      fill(payload, timestampSize());
      Fields time = pick(2) == 0 ? localTimeNow()
                                 : kValid[pick(sizeof kValid / sizeof kValid[0])];
      time.weekday = pick(65536);  // carried, never examined
      put(payload, time);
    } else if (kind < 92) {
      // A whole timestamp cut short.
      std::vector<std::uint8_t> whole(16);
      put(whole, localTimeNow());
      payload.assign(whole.begin(), whole.begin() + pick(16));
    } else {
      fill(payload, timestampSize());
      put(payload,
          kNearlyValid[pick(sizeof kNearlyValid / sizeof kNearlyValid[0])]);
    }
    return payload;
  }

 private:
  unsigned pick(std::size_t bound) {
    return static_cast<unsigned>(random_() % bound);
  }
  std::size_t timestampSize() {
    return pick(2) == 0 ? 16 : 16 + pick(kMaxPayload - 16 + 1);
  }
  void fill(std::vector<std::uint8_t>& payload, std::size_t size) {
    const std::size_t offset = pick(pool_.size() - size + 1);
    payload.assign(pool_.begin() + offset, pool_.begin() + offset + size);
  }

  std::mt19937_64 random_;
  std::vector<std::uint8_t> pool_;
};

// The bytes waiting in the socket bound to 0.0.0.0:port, or -1 when there
// is none (the receiver is gone).
long receiveQueue(unsigned port) {
  FILE* table = std::fopen("/proc/net/udp", "r");
  if (table == nullptr) return -1;
  char wanted[32];
  std::snprintf(wanted, sizeof wanted, "00000000:%04X", port);
  char line[512];
  long queue = -1;
  while (std::fgets(line, sizeof line, table) != nullptr) {
    char local[64], remote[64], state[16];
    unsigned long tx = 0, rx = 0;
    int slot = 0;
    if (std::sscanf(line, " %d: %63s %63s %15s %lx:%lx", &slot, local, remote,
                    state, &tx, &rx) == 6 &&
        std::strcmp(local, wanted) == 0) {
      queue = static_cast<long>(rx);
      break;
    }
  }
  std::fclose(table);
  return queue;
}

// Waits until at most `limit` bytes wait for the receiver. False when the
// receiver is gone or the deadline passes.
bool awaitRoom(unsigned port, long limit, Clock::time_point deadline) {
  for (;;) {
    const long queue = receiveQueue(port);
    if (queue < 0) return false;
    if (queue <= limit) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
}

}  // namespace

int main(int argc, char** argv) {
  int count = 20000, perSecond = 5000, seconds = 40, opt;
  while ((opt = ::getopt(argc, argv, "n:r:t:")) != -1) {
    switch (opt) {
      case 'n': count = std::atoi(optarg); break;
      case 'r': perSecond = std::atoi(optarg); break;
      case 't': seconds = std::atoi(optarg); break;
      default: return usage();
    }
  }
  if (argc - optind != 3 || count < 1 || count > kMaxCount || perSecond < 1 ||
      perSecond > 1000000 || seconds < 1 || seconds > 300) {
    return usage();
  }
  const std::uint64_t seed = std::strtoull(argv[optind], nullptr, 10);
  const unsigned port =
      static_cast<unsigned>(std::atoi(argv[optind + 2])) & 0xFFFF;
  sockaddr_in destination{};
  destination.sin_family = AF_INET;
  destination.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::inet_pton(AF_INET, argv[optind + 1], &destination.sin_addr) != 1) {
    return usage();
  }
  const int fd = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (fd < 0) {
    std::perror("hostile_peer: socket");
    return 1;
  }

  Generator generator(seed);
  const auto start = Clock::now();
  const auto deadline = start + std::chrono::seconds(seconds);
  const auto interval = std::chrono::nanoseconds(1000000000LL / perSecond);
  for (int i = 0; i < count; ++i) {
    std::this_thread::sleep_until(start + i * interval);
    if (!awaitRoom(port, kQueueLimit, deadline)) {
      std::fprintf(stderr, "hostile_peer: receiver gone or stuck after %d\n", i);
      return 2;
    }
    const std::vector<std::uint8_t> payload = generator.next();
    if (::sendto(fd, payload.data(), payload.size(), 0,
                 reinterpret_cast<const sockaddr*>(&destination),
                 sizeof destination) != static_cast<ssize_t>(payload.size())) {
      std::perror("hostile_peer: sendto");
      return 1;
    }
    const Fields f = read(payload);
    const bool valid = payload.size() >= 16 && calendarTime(f);
    std::printf("%zu %c %u %u %u %u %u %u %u\n", payload.size(),
                valid ? 'V' : 'I', f.hour, f.minute, f.second, f.ms, f.month,
                f.day, f.year);
  }
  // Everything sent has been taken by the receiver.
  if (!awaitRoom(port, 0, deadline)) {
    std::fprintf(stderr, "hostile_peer: receiver did not drain its queue\n");
    return 2;
  }
  return 0;
}
