#include "cli/options.h"

#include <cctype>
#include <climits>
#include <cstring>

#include "timestamp/text.h"

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

}  // namespace

int printUsage(Platform& platform) {
  print(platform,
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

ParsedOptions parseOptions(int argc, char** argv, Platform& platform) {
  ParsedOptions parsed;
  if (argc <= 1) {
    parsed.endRun = true;
    parsed.exitStatus = printUsage(platform);
    return parsed;
  }
  RunConfig& config = parsed.config;
  const char* format = "text";
  bool intervals = false;
  for (int i = 1; i < argc; ++i) {
    const char* word = argv[i];
    if (word[0] != '-' && word[0] != '/') continue;
    switch (std::tolower(static_cast<unsigned char>(word[1]))) {
      case 'd': config.destAddress = optionValue(argc, argv, i); break;
      case 'p': config.destPort = leadingInteger(optionValue(argc, argv, i)); break;
      case 't': config.dscpValue = leadingInteger(optionValue(argc, argv, i)); break;
      case 'l': config.ttlValue = leadingInteger(optionValue(argc, argv, i)); break;
      case 'w': config.waitValue = leadingInteger(optionValue(argc, argv, i)); break;
      case 's': config.mode = RunMode::Sender; break;
      case 'r': config.mode = RunMode::Receiver; break;
      case 'u': config.update = true; break;
      case 'q': config.verbose = false; break;
      case 'm': config.measure = true; break;
      case 'e':
        config.measure = true;
        config.expectDscp = true;
        config.expectedDscp = leadingInteger(optionValue(argc, argv, i));
        break;
      case 'c': config.count = leadingInteger(optionValue(argc, argv, i)); break;
      case 'i': config.interfaceText = optionValue(argc, argv, i); break;
      case 'f': config.sourceText = optionValue(argc, argv, i); break;
      case 'a':
        config.intervalSeconds = leadingInteger(optionValue(argc, argv, i));
        intervals = true;
        break;
      case 'o': format = optionValue(argc, argv, i); break;
      case 'v':
        print(platform, "stampcast version: 1.0\n");
        parsed.endRun = true;
        parsed.exitStatus = kFailedRun;
        return parsed;
      case 'h':
        parsed.endRun = true;
        parsed.exitStatus = printUsage(platform);
        return parsed;
      default:
        print(platform, "Unknown options flag %s\n", word);
        parsed.endRun = true;
        parsed.exitStatus = kFailedRun;
        return parsed;
    }
  }
  config.json = std::strcmp(format, "json") == 0;
  if (!config.json && std::strcmp(format, "text") != 0) {
    print(platform, "Unknown output format %s\n", format);
    parsed.endRun = true;
    parsed.exitStatus = kFailedRun;
    return parsed;
  }
  // A quiet receiver and one that reports intervals measure.
  if (config.mode == RunMode::Receiver && (!config.verbose || intervals)) {
    config.measure = true;
  }
  return parsed;
}

}  // namespace stampcast
