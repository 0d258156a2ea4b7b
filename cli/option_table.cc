#include "cli/option_table.h"

#include <cctype>
#include <cstring>

#include "cli/load_options.h"
#include "timestamp/wire/auth_block.h"
#include "timestamp/wire/trailer.h"

namespace stampcast {
namespace {

using Value = const OptionValue&;

// The classic options first, then those beyond them, each group in the
// order of the usage. Letters that later options take must not be here
// yet: an unknown letter ends the run, and scripts rely on that.
const OptionRow kRows[] = {
    {'d', ValueKind::Text, "destaddress",
     [](OptionScan& s, Value v) { s.config.destAddress = v.text; }, nullptr, "group"},
    {'p', ValueKind::Integer, "port",
     [](OptionScan& s, Value v) { s.config.destPort = v.number; }, nullptr, "port"},
    {'t', ValueKind::Integer, "tos",
     [](OptionScan& s, Value v) { s.config.dscpValue = v.number; }, nullptr, "dscp"},
    {'l', ValueKind::Integer, "ttl",
     [](OptionScan& s, Value v) { s.config.ttlValue = v.number; }, nullptr, "ttl"},
    {'w', ValueKind::Integer, "wait",
     [](OptionScan& s, Value v) { s.config.waitValue = v.number; }, nullptr, "wait_ms"},
    {'s', ValueKind::None, nullptr,
     [](OptionScan& s, Value) { s.config.mode = RunMode::Sender; }, nullptr, "role"},
    {'r', ValueKind::None, nullptr,
     [](OptionScan& s, Value) { s.config.mode = RunMode::Receiver; }, nullptr, "role"},
    {'u', ValueKind::None, nullptr,
     [](OptionScan& s, Value) { s.config.update = true; }, nullptr, "update"},
    {'q', ValueKind::None, nullptr,
     [](OptionScan& s, Value) { s.config.verbose = false; },
     "sender: no pause and no lines; receiver: no line a datagram", nullptr},
    {'c', ValueKind::Integer, "count",
     [](OptionScan& s, Value v) { s.config.count = v.number; },
     "either role: end after so many datagrams (0 or less: no end)", nullptr},
    {'m', ValueKind::None, nullptr,
     [](OptionScan& s, Value) { s.config.measure = true; },
     "receiver: measure each datagram and sum up; sender: number them", nullptr},
    {'e', ValueKind::Integer, "tos",
     [](OptionScan& s, Value v) {
       s.config.measure = true;
       s.config.expectDscp = true;
       s.config.expectedDscp = v.number;
     },
     "receiver: the DSCP the path should deliver; implies -m", "expected_dscp"},
    {'i', ValueKind::Text, "interface",
     [](OptionScan& s, Value v) { s.config.interfaceText = v.text; },
     "either role: the interface by name, index or address", "interface"},
    {'f', ValueKind::Text, "source",
     [](OptionScan& s, Value v) { s.config.sourceText = v.text; },
     "receiver: join the group from this one sender only", "source"},
    {'a', ValueKind::Integer, "seconds",
     [](OptionScan& s, Value v) {
       s.config.intervalSeconds = v.number;
       s.intervals = true;
     },
     "receiver: report each interval of so many seconds; implies -m", "interval_s"},
    {'o', ValueKind::Text, "format",
     [](OptionScan& s, Value v) { s.format = v.text; },
     "either role: text, or json for one JSON object a line", nullptr},
    {'x', ValueKind::Path, "path",
     [](OptionScan& s, Value v) { s.config.metricsPath = v.text; },
     "receiver: write Prometheus metrics to this file; implies -m", nullptr},
    {'b', ValueKind::Text, "rate",
     [](OptionScan& s, Value v) { s.config.rateText = v.text; },
     "sender: a rate in bits (k, M, G) or datagrams (pps) a second",
     "rate"},
    {'z', ValueKind::Text, "bytes",
     [](OptionScan& s, Value v) { s.config.sizeText = v.text; },
     "sender: the UDP payload's size, zeros after the time", "size"},
    {'n', ValueKind::Text, "count",
     [](OptionScan& s, Value v) { s.config.burstText = v.text; },
     "sender: datagrams back to back at each due time (1 to 1024)", "burst"},
    {'k', ValueKind::Path, "keyfile",
     [](OptionScan& s, Value v) { s.config.keyPath = v.text; },
     "either role: authenticate with a key file's keys; sender: implies -m", nullptr},
    {'y', ValueKind::Path, "socket",
     [](OptionScan& s, Value v) { s.config.sampleSocket = v.text; },
     "receiver: hand each time to chronyd's SOCK refclock here, set nothing", nullptr},
    {'v', ValueKind::None, nullptr,
     [](OptionScan& s, Value) { s.end = ScanEnd::Version; },
     "print the version and end", nullptr},
    {'h', ValueKind::None, nullptr,
     [](OptionScan& s, Value) { s.end = ScanEnd::Usage; },
     "print the usage and end; --help adds these lines", nullptr},
};

// The datagram a sender sends without -z: the time, and with -m the
// trailer of the version the load options ask for.
std::uint32_t classicSize(const RunConfig& config) {
  if (!config.measure) return static_cast<std::uint32_t>(kTimestampDatagramSize);
  // A signing sender's datagram ends with the authentication block.
  if (config.mode == RunMode::Sender && config.keyPath != nullptr) {
    return static_cast<std::uint32_t>(kMeasuredV2DatagramSize + kAuthBlockLength);
  }
  return static_cast<std::uint32_t>(config.load ? kMeasuredV2DatagramSize
                                                : kMeasuredDatagramSize);
}

}  // namespace

const char* settleLoad(RunConfig& config, const char** offending) {
  config.load = config.rateText != nullptr || config.sizeText != nullptr ||
                config.burstText != nullptr;
  if (config.burstText != nullptr && !parseBurst(config.burstText, &config.burst)) {
    *offending = config.burstText;
    return "Burst out of range: %s\n";
  }
  std::size_t size = classicSize(config);
  const bool ipv6 = std::strchr(config.destAddress, ':') != nullptr;
  if (config.sizeText != nullptr &&
      !parseDatagramSize(config.sizeText, size, ipv6, &size)) {
    *offending = config.sizeText;
    return "Datagram size out of range: %s\n";
  }
  config.datagramSize = static_cast<std::uint32_t>(size);
  Rate rate;
  if (config.rateText != nullptr &&
      (!parseRate(config.rateText, &rate) ||
       !burstPeriodNanoseconds(rate, config.burst, size, &config.periodNanoseconds))) {
    *offending = config.rateText;
    return "Not a rate: %s\n";
  }
  return nullptr;
}

OptionRows optionRows() { return {kRows, sizeof kRows / sizeof kRows[0]}; }

const OptionRow* findOption(char letter) {
  const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
  for (const OptionRow& row : optionRows()) {
    if (row.letter == lower) return &row;
  }
  return nullptr;
}

}  // namespace stampcast
