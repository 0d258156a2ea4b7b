#include "cli/options.h"

#include <cctype>
#include <climits>
#include <cstring>

#include "cli/option_table.h"
#include "timestamp/report/report.h"

namespace stampcast {
namespace {

// The leading integer of text: white space skipped, optional sign, digits up
// to the first non-digit, 0 without digits, clamped to the 32-bit limits.
int leadingInteger(const char* text) {
  while (std::isspace(static_cast<unsigned char>(*text))) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = (*text++ == '-');
  long long value = 0;
  for (; std::isdigit(static_cast<unsigned char>(*text)); ++text) {
    value = value * 10 + (*text - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) {
      value = static_cast<long long>(INT_MAX) + 1;  // saturate, keep scanning
    }
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

// The value of a value-taking option: from the fourth character of the word,
// or the whole next word when the word is just the option (without
// consuming it), or empty when there is no next word.
const char* optionValue(int argc, char** argv, int index) {
  const char* word = argv[index];
  if (std::strlen(word) == 2) return index + 1 < argc ? argv[index + 1] : "";
  if (std::strlen(word) == 3) return "";
  return word + 3;
}

// A scan that ends the run now with status.
ParsedOptions endedBy(int status) {
  ParsedOptions parsed;
  parsed.endRun = true;
  parsed.exitStatus = status;
  return parsed;
}

// The settings once every word is read: the output form checked, and the
// measuring that a quiet or an interval-reporting receiver implies.
ParsedOptions settled(OptionScan& scan, Report& report) {
  RunConfig& config = scan.config;
  config.json = std::strcmp(scan.format, "json") == 0;
  if (!config.json && std::strcmp(scan.format, "text") != 0) {
    print(report, "Unknown output format %s\n", scan.format);
    return endedBy(kFailedRun);
  }
  if (config.mode == RunMode::Receiver && (!config.verbose || scan.intervals ||
                                         config.metricsPath != nullptr)) {
    config.measure = true;
  }
  // A signing sender numbers its datagrams: the trailer carries what
  // receivers check for replay.
  if (config.mode == RunMode::Sender && config.keyPath != nullptr) config.measure = true;
  if (config.mode == RunMode::Receiver && config.update && config.sampleSocket != nullptr) {
    print(report, "Choose -u or -y\n");
    return endedBy(kFailedRun);
  }
  const char* offending = "";
  if (const char* message = settleLoad(config, &offending)) {
    print(report, message, offending);
    return endedBy(kFailedRun);
  }
  ParsedOptions parsed;
  parsed.config = config;
  return parsed;
}

}  // namespace

int printUsage(Report& report) {
  print(report,
        "-- version 1.0 -- multicast timestamps with DiffServ marking\n"
        "usage: stampcast [-d destaddress] [-p port] [-t tos] [-l ttl]\n"
        "              [-w wait (ms)] [-s sender] [-r receiver] [-u update "
        "time]\n\n"
        "example sender: stampcast -d 239.1.1.1 -p 9999 -t 46 -l 10 -w 2000 "
        "-s\n"
        "example receiver: stampcast -d 239.1.1.1 -p 9999 -u -r\n"
        "default values: stampcast -s (sender) or stampcast -r (receiver)\n");
  return kFailedRun;
}

int printHelp(Report& report) {
  printUsage(report);
  print(report, "\nmore options:\n");
  for (const OptionRow& row : optionRows()) {
    if (row.help == nullptr) continue;
    print(report, "  -%c %-10s %s\n", row.letter,
          row.valueName != nullptr ? row.valueName : "", row.help);
  }
  return 0;
}

ParsedOptions parseOptions(int argc, char** argv, Report& report) {
  if (argc <= 1) return endedBy(printUsage(report));
  OptionScan scan;
  for (int i = 1; i < argc; ++i) {
    const char* word = argv[i];
    if (std::strcmp(word, "--help") == 0) return endedBy(printHelp(report));
    if (word[0] != '-' && word[0] != '/') continue;
    const OptionRow* row = findOption(word[1]);
    if (row == nullptr) {
      print(report, "Unknown options flag %s\n", word);
      return endedBy(kFailedRun);
    }
    OptionValue value{"", 0};
    if (row->kind != ValueKind::None) value.text = optionValue(argc, argv, i);
    if (row->kind == ValueKind::Integer) value.number = leadingInteger(value.text);
    if (row->kind == ValueKind::Path && std::strlen(word) == 2 && i + 1 < argc) ++i;
    row->set(scan, value);
    if (scan.end == ScanEnd::Version) {
      print(report, "stampcast version: 1.0\n");
      return endedBy(kFailedRun);
    }
    if (scan.end == ScanEnd::Usage) return endedBy(printUsage(report));
  }
  return settled(scan, report);
}

}  // namespace stampcast
