// How late a 10 ms pause ends on this machine, by the way it is taken:
// a relative nanosleep, an absolute clock_nanosleep to a deadline taken at
// the pause's start, and the same deadline reached by sleeping to a margin
// before it and spinning on the clock for the rest. Prints the mean, median
// and 90th percentile of the overshoot in microseconds for each.
#include <sys/prctl.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

long long nowNs() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000000000LL + t.tv_nsec;
}

timespec asTimespec(long long ns) {
  return timespec{static_cast<time_t>(ns / 1000000000LL),
                  static_cast<long>(ns % 1000000000LL)};
}

constexpr long long kPauseNs = 10000000;

void relative() {
  timespec request = asTimespec(kPauseNs);
  nanosleep(&request, nullptr);
}

void absolute() {
  const timespec deadline = asTimespec(nowNs() + kPauseNs);
  clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr);
}

long long marginNs = 200000;

void absoluteThenSpin() {
  const long long end = nowNs() + kPauseNs;
  const timespec early = asTimespec(end - marginNs);
  clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &early, nullptr);
  while (nowNs() < end) {
  }
}

void report(const char* name, void (*pause)(), int periods) {
  std::vector<double> late;
  late.reserve(static_cast<size_t>(periods));
  for (int i = 0; i < periods; ++i) {
    const long long start = nowNs();
    pause();
    late.push_back((nowNs() - start - kPauseNs) / 1000.0);
  }
  double sum = 0;
  for (double v : late) sum += v;
  std::sort(late.begin(), late.end());
  std::printf("%-28s mean %7.1f us  median %7.1f us  p90 %7.1f us\n", name,
              sum / periods, late[late.size() / 2], late[late.size() * 9 / 10]);
}

}  // namespace

// Usage: pause_probe [periods [spin-margin-us]]; defaults 300 and 200.
int main(int argc, char** argv) {
  const int periods = argc > 1 ? std::atoi(argv[1]) : 300;
  if (argc > 2) marginNs = std::atoll(argv[2]) * 1000;
  if (periods < 1 || periods > 100000) return 1;
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  report("relative nanosleep", relative, periods);
  report("absolute clock_nanosleep", absolute, periods);
  char name[64];
  std::snprintf(name, sizeof name, "absolute, spin last %lld us",
                marginNs / 1000);
  report(name, absoluteThenSpin, periods);
  return 0;
}
