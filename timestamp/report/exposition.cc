#include "timestamp/report/exposition.h"

#include <unordered_map>

#include "timestamp/report/json.h"
#include "timestamp/report/text.h"

namespace stampcast {
namespace {

constexpr std::int64_t kFirstBound = 50;  // microseconds

// The families of one number a source, in the order they are written.
struct CounterFamily {
  const char* name;
  const char* help;
  std::uint64_t SourceFigures::*value;
};
const CounterFamily kCounters[] = {
    {"datagrams_received_total", "Datagrams received from the source.",
     &SourceFigures::received},
    {"datagrams_lost_total",
     "Numbered datagrams that did not come and can no longer come.",
     &SourceFigures::lost},
    {"datagrams_duplicate_total", "Numbered datagrams that came again.",
     &SourceFigures::duplicate},
    {"datagrams_out_of_order_total",
     "Numbered datagrams that came after a higher number.",
     &SourceFigures::outOfOrder},
    {"loss_episodes_total", "Runs of consecutive lost datagrams.",
     &SourceFigures::lossEpisodes},
};

struct GaugeFamily {
  const char* name;
  const char* help;
  std::int64_t SourceFigures::*value;  // microseconds
};
const GaugeFamily kGauges[] = {
    {"jitter_seconds", "Interarrival jitter of the source's latest run.",
     &SourceFigures::jitter},
    {"longest_gap_seconds",
     "Longest time between two datagrams of the source in this run.",
     &SourceFigures::longestGap},
    {"last_datagram_timestamp_seconds",
     "When the source's last datagram came, in seconds since 1970 UTC.",
     &SourceFigures::lastDatagram},
};

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
  return a + b < a ? UINT64_MAX : a + b;
}

void add(SourceFigures& into, const SourceFigures& from) {
  for (const auto& family : kCounters) {
    into.*family.value = saturatingAdd(into.*family.value, from.*family.value);
  }
  for (std::size_t i = 0; i < into.dscpReceived.size(); ++i) {
    into.dscpReceived[i] = saturatingAdd(into.dscpReceived[i], from.dscpReceived[i]);
  }
  for (const DscpChange& change : from.dscpChanged) {
    DscpChange* same = nullptr;
    for (DscpChange& have : into.dscpChanged) {
      if (have.sent == change.sent && have.received == change.received) same = &have;
    }
    if (same == nullptr) {
      into.dscpChanged.push_back(change);
    } else {
      same->count = saturatingAdd(same->count, change.count);
    }
  }
  for (std::size_t i = 0; i < kDelayBuckets; ++i) {
    into.delayBuckets[i] = saturatingAdd(into.delayBuckets[i], from.delayBuckets[i]);
  }
  into.delaySum += from.delaySum;
  into.delayCount = saturatingAdd(into.delayCount, from.delayCount);
  if (from.longestGap > into.longestGap) into.longestGap = from.longestGap;
  if (from.lastDatagram >= into.lastDatagram) {
    into.jitter = from.jitter;
    into.lastDatagram = from.lastDatagram;
  }
}

void appendHeader(std::string& out, const char* name, const char* type,
                  const char* help) {
  appendFormat(out, "# HELP stampcast_%s %s\n# TYPE stampcast_%s %s\n", name,
               help, name, type);
}

// `stampcast_<name>{group="...",source="..."` and any label after them.
void openSample(std::string& out, const char* name, const std::string& group,
                const SourceFigures* source) {
  out += "stampcast_";
  out += name;
  out += "{group=";
  appendLabelValue(out, group);
  if (source == nullptr) return;
  out += ",source=";
  appendLabelValue(out, source->source);
}

void closeSample(std::string& out, std::uint64_t value) {
  char digits[24];
  out += "} ";
  out.append(digits, static_cast<std::size_t>(writeDecimal(digits, value, 1) - digits));
  out += '\n';
}

// Microseconds as seconds, without trailing zeros: "0.00005", "-1.6", "0".
void appendSeconds(std::string& out, std::int64_t microseconds) {
  appendScaled(out, microseconds, 6);
  while (out.back() == '0') out.pop_back();
  if (out.back() == '.') out.pop_back();
}

void appendHistogram(std::string& out, const std::string& group,
                     const SourceFigures& source) {
  std::uint64_t below = 0;
  for (std::size_t i = 0; i < kDelayBuckets; ++i) {
    below = saturatingAdd(below, source.delayBuckets[i]);
    openSample(out, "delay_seconds_bucket", group, &source);
    out += ",le=\"";
    if (i == kDelayBounds) {
      out += "+Inf";
    } else {
      appendSeconds(out, delayBound(i));
    }
    out += '"';
    closeSample(out, below);
  }
  openSample(out, "delay_seconds_sum", group, &source);
  appendFormat(out, "} %.6f\n", source.delaySum / 1e6);
  openSample(out, "delay_seconds_count", group, &source);
  closeSample(out, source.delayCount);
}

using Groups = std::vector<GroupFigures>;

// Calls write(group, source) for every source of every group.
template <typename Write>
void forEachSource(const Groups& groups, Write write) {
  for (const GroupFigures& group : groups) {
    for (const SourceFigures& source : group.sources) write(group.group, source);
  }
}

void appendDscpFamilies(std::string& out, const Groups& groups) {
  appendHeader(out, "dscp_received_total", "counter",
               "Datagrams received by the DSCP they arrived with.");
  forEachSource(groups, [&](const std::string& group, const SourceFigures& source) {
    for (std::size_t dscp = 0; dscp < source.dscpReceived.size(); ++dscp) {
      if (source.dscpReceived[dscp] == 0) continue;
      openSample(out, "dscp_received_total", group, &source);
      appendFormat(out, ",dscp=\"%d\"", static_cast<int>(dscp));
      closeSample(out, source.dscpReceived[dscp]);
    }
  });
  appendHeader(out, "dscp_changed_total", "counter",
               "Datagrams that arrived with another DSCP than they were sent with.");
  forEachSource(groups, [&](const std::string& group, const SourceFigures& source) {
    for (const DscpChange& change : source.dscpChanged) {
      openSample(out, "dscp_changed_total", group, &source);
      appendFormat(out, ",sent=\"%d\",received=\"%d\"", change.sent, change.received);
      closeSample(out, change.count);
    }
  });
}

// Every family, each with its lines together: one for all the groups.
void appendFamilies(std::string& out, const Groups& groups) {
  for (const auto& family : kCounters) {
    appendHeader(out, family.name, "counter", family.help);
    forEachSource(groups, [&](const std::string& group, const SourceFigures& source) {
      openSample(out, family.name, group, &source);
      closeSample(out, source.*family.value);
    });
  }
  appendHeader(out, "datagrams_invalid_total", "counter",
               "Datagrams too short or without a real date and time.");
  for (const GroupFigures& group : groups) {
    openSample(out, "datagrams_invalid_total", group.group, nullptr);
    closeSample(out, group.invalid);
  }
  appendDscpFamilies(out, groups);
  appendHeader(out, "delay_seconds", "histogram",
               "Arrival less send time, with any offset between the clocks.");
  forEachSource(groups, [&](const std::string& group, const SourceFigures& source) {
    appendHistogram(out, group, source);
  });
  for (const auto& family : kGauges) {
    appendHeader(out, family.name, "gauge", family.help);
    forEachSource(groups, [&](const std::string& group, const SourceFigures& source) {
      openSample(out, family.name, group, &source);
      out += "} ";
      appendSeconds(out, source.*family.value);
      out += '\n';
    });
  }
}

}  // namespace

std::int64_t delayBound(std::size_t index) {
  const int doublings = kDelayDoublings;
  const int step = static_cast<int>(index) - doublings;
  if (step == 0) return 0;
  if (step < 0) return -(kFirstBound << (-step - 1));
  return kFirstBound << (step - 1);
}

std::size_t delayBucket(std::int64_t delay) {
  std::size_t low = 0;
  std::size_t high = kDelayBounds;
  while (low < high) {
    const std::size_t middle = (low + high) / 2;
    if (delayBound(middle) < delay) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}

std::vector<SourceFigures> foldSources(const std::vector<SourceFigures>& sources,
                                       std::size_t limit) {
  std::vector<SourceFigures> folded;
  std::unordered_map<std::string, std::size_t> kept;
  for (const SourceFigures& source : sources) {
    const auto found = kept.find(source.source);
    if (found != kept.end()) {
      add(folded[found->second], source);
    } else if (folded.size() < limit) {
      kept.emplace(source.source, folded.size());
      folded.push_back(source);
    } else {
      if (folded.size() == limit) {
        folded.emplace_back();
        folded.back().source = "other";
      }
      add(folded.back(), source);
    }
  }
  return folded;
}

std::string writeExposition(const std::vector<GroupFigures>& groups,
                            const std::string& version) {
  std::string out;
  appendFamilies(out, groups);
  appendHeader(out, "build_info", "gauge", "The version of stampcast; always 1.");
  out += "stampcast_build_info{version=";
  appendLabelValue(out, version);
  out += "} 1\n";
  return out;
}

void appendLabelValue(std::string& out, const std::string& value) {
  out += '"';
  for (const char c : value) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  out += '"';
}

}  // namespace stampcast
