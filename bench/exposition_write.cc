// The time to write one exposition of 64 sources (-x): the text, and the
// text through a temporary file renamed over the metrics file, as the
// POSIX backend's replaceFile does; the median of many rounds.
//   exposition_write [FOLDER]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "timestamp/report/exposition.h"

namespace {

using Clock = std::chrono::steady_clock;

stampcast::GroupFigures sample() {
  stampcast::GroupFigures group;
  group.group = "239.1.1.1:1234";
  for (int i = 0; i < 64; ++i) {
    stampcast::SourceFigures source;
    source.source = "10.1." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
    source.received = 1000000 + static_cast<std::uint64_t>(i);
    source.lost = static_cast<std::uint64_t>(i);
    source.dscpReceived[46] = source.received;
    source.dscpChanged.push_back({46, 8, 12});
    for (std::size_t b = 0; b < stampcast::kDelayBuckets; ++b) source.delayBuckets[b] = b;
    source.delaySum = 1.5e9;
    source.delayCount = source.received;
    group.sources.push_back(source);
  }
  return group;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

bool replace(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written && std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = std::string(argc > 1 ? argv[1] : "/tmp") + "/stampcast-bench.prom";
  const std::vector<stampcast::GroupFigures> groups{sample()};
  std::vector<double> text;
  std::vector<double> file;
  std::size_t size = 0;
  for (int round = 0; round < 2000; ++round) {
    const Clock::time_point start = Clock::now();
    const std::string written = stampcast::writeExposition(groups, "1.0");
    const Clock::time_point made = Clock::now();
    if (!replace(path, written)) return 1;
    const Clock::time_point done = Clock::now();
    size = written.size();
    text.push_back(std::chrono::duration<double, std::micro>(made - start).count());
    file.push_back(std::chrono::duration<double, std::micro>(done - start).count());
  }
  std::remove(path.c_str());
  std::printf("exposition of 64 sources: %zu bytes, %.1f us to write the text, "
              "%.1f us with the file replaced (medians of 2000)\n",
              size, median(text), median(file));
  return 0;
}
