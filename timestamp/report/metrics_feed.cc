#include "timestamp/report/metrics_feed.h"

#include <bitset>
#include <cmath>
#include <cstring>

#include "timestamp/report/text.h"

namespace stampcast {
namespace {

// The version build_info shows: the one -v prints.
constexpr char kVersion[] = "1.0";
constexpr char kOther[] = "other";

}  // namespace

int intervalPeriod(const RunConfig& config) {
  if (config.intervalSeconds > 0) return config.intervalSeconds;
  return config.metricsPath != nullptr ? kMetricsSeconds : 0;
}

std::uint64_t finalLost(const StreamTable::Stream& stream, bool runOver) {
  const std::uint64_t lost = stream.totals().lost;
  if (runOver) return lost;
  // The window holds the last kWindow numbers up to the highest, from the
  // first on; a bit is set for each that came.
  const std::uint64_t spanned = stream.highest - stream.first;
  const std::uint64_t window = spanned >= StreamTable::kWindow ? StreamTable::kWindow
                                                              : spanned + 1;
  std::uint64_t came = 0;
  for (const std::uint64_t word : stream.seen) came += std::bitset<64>(word).count();
  const std::uint64_t missing = came < window ? window - came : 0;
  return missing < lost ? lost - missing : 0;
}

namespace {

// A stream's load, added to its address's: the pairs and episodes add up,
// the longest gap is the longest of its streams'.
void addLoad(SourceFigures& into, const StreamLoad& load) {
  const LoadPart whole = load.whole();
  for (const RemarkPair& pair : whole.remarked) {
    DscpChange* same = nullptr;
    for (DscpChange& have : into.dscpChanged) {
      if (have.sent == pair.sent && have.received == pair.received) same = &have;
    }
    if (same == nullptr) {
      into.dscpChanged.push_back(DscpChange{pair.sent, pair.received, pair.count});
    } else {
      same->count += pair.count;
    }
  }
  into.lossEpisodes += load.settledEpisodes();
  const std::int64_t gap = whole.longest.nanoseconds / 1000;
  if (gap > into.longestGap) into.longestGap = gap;
}

}  // namespace

std::string sourceText(const SocketAddress& from) {
  char text[kAddressTextMax + 1];
  char* end = writeAddress(text, from);
  while (end > text && end[-1] != ':') --end;  // the port
  if (end > text) --end;
  const bool bracketed = text[0] == '[';
  if (bracketed && end > text + 1) --end;
  return std::string(text + (bracketed ? 1 : 0), end);
}

SourceTally::Source& SourceTally::find(const SocketAddress& from) {
  SocketAddress address = from;
  address.port = 0;
  const SenderKey key = senderKey(address);
  if (!sources_.empty() && key == lastKey_) return sources_[last_];
  const auto found = index_.find(key);
  if (found != index_.end()) {
    last_ = found->second;
  } else if (index_.size() < StreamTable::kMaxStreams) {
    last_ = sources_.size();
    index_.emplace(key, last_);
    sources_.emplace_back();
    sources_.back().figures.source = sourceText(address);
  } else {
    // Past the limit nothing more is remembered: all go under "other".
    if (sources_.size() == index_.size()) {
      sources_.emplace_back();
      sources_.back().figures.source = kOther;
    }
    last_ = sources_.size() - 1;
  }
  lastKey_ = key;
  return sources_[last_];
}

void SourceTally::count(const MeasuredFields& measured, std::int64_t at) {
  Source& source = find(measured.from);
  SourceFigures& figures = source.figures;
  ++figures.received;
  if (measured.dscp >= 0 && measured.dscp < static_cast<int>(figures.dscpReceived.size())) {
    ++figures.dscpReceived[static_cast<std::size_t>(measured.dscp)];
  }
  if (measured.hasDelay) {
    ++figures.delayBuckets[delayBucket(measured.delayMicroseconds)];
    figures.delaySum += static_cast<double>(measured.delayMicroseconds);
    ++figures.delayCount;
  }
  source.lastArrival = at;
}

std::vector<SourceFigures> SourceTally::figures(std::int64_t utcMicroseconds,
                                                std::int64_t steadyNow) const {
  std::vector<SourceFigures> figures;
  figures.reserve(sources_.size());
  for (const Source& source : sources_) {
    figures.push_back(source.figures);
    figures.back().lastDatagram =
        utcMicroseconds - (steadyNow - source.lastArrival) / 1000;
  }
  return figures;
}

GroupFigures feedGroup(const std::string& group, const ReceiverStatistics& stats,
                       std::vector<SourceFigures> sources, bool runOver) {
  std::unordered_map<std::string, std::size_t> byAddress;
  for (std::size_t i = 0; i < sources.size(); ++i) byAddress.emplace(sources[i].source, i);
  for (const StreamTable::Stream& stream : stats.streams.list()) {
    const auto found = byAddress.find(sourceText(stream.from));
    // A stream whose address the tally did not keep went under "other".
    const auto other = byAddress.find(kOther);
    if (found == byAddress.end() && other == byAddress.end()) continue;
    SourceFigures& into = sources[(found != byAddress.end() ? found : other)->second];
    into.lost += finalLost(stream, runOver);
    into.duplicate += stream.duplicates;
    into.outOfOrder += stream.late;
    // The latest stream of an address comes last in the list.
    into.jitter = std::llround(stream.jitter.microseconds);
    if (stream.load.on()) addLoad(into, stream.load);
  }
  GroupFigures figures;
  figures.group = group;
  figures.invalid = static_cast<std::uint64_t>(stats.invalid);
  figures.sources = foldSources(sources, StreamTable::kMaxStreams);
  return figures;
}

MetricsFile::MetricsFile(const RunConfig& config, const SocketAddress& group,
                         Platform& platform, Report& report, FileReplacer replace)
    : path_(config.metricsPath), platform_(platform), report_(report), replace_(replace) {
  char text[kAddressTextMax + 1];
  group_.assign(text, writeAddress(text, group));
}

std::string MetricsFile::exposition(const ReceiverStatistics* stats, bool runOver) {
  std::vector<GroupFigures> groups(1);
  groups[0].group = group_;
  if (stats != nullptr) {
    SystemClock& clock = platform_.systemClock();
    LocalTime local{};
    std::int64_t utcNanoseconds = 0;
    clock.readClock(&local, &utcNanoseconds);
    const std::int64_t steady = clock.steadyNanoseconds();
    groups[0] = feedGroup(group_, *stats, tally_.figures(utcNanoseconds / 1000, steady),
                          runOver);
  }
  return writeExposition(groups, kVersion);
}

bool MetricsFile::start() {
  if (!on()) return true;
  const FileWrite result = replace_(path_, exposition(nullptr, false));
  if (result.systemError == 0) return true;
  printError(report_, "Cannot write metrics to %s: %s\n", path_, result.reason.c_str());
  return false;
}

void MetricsFile::write(const ReceiverStatistics& stats, bool runOver) {
  if (!on()) return;
  const FileWrite result = replace_(path_, exposition(&stats, runOver));
  if (result.systemError != 0 && !failing_) {
    print(report_, "Cannot write metrics to %s: %s\n", path_, result.reason.c_str());
  }
  failing_ = result.systemError != 0;
}

}  // namespace stampcast
