#include "cli/load_options.h"

#include <cmath>
#include <cstring>

namespace stampcast {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Decimal digits only, no sign, at most `largest`.
bool parseWhole(const char* text, std::uint64_t largest, std::uint64_t* value) {
  if (text == nullptr || !isDigit(*text)) return false;
  std::uint64_t read = 0;
  for (; isDigit(*text); ++text) {
    read = read * 10 + static_cast<std::uint64_t>(*text - '0');
    if (read > largest) return false;
  }
  *value = read;
  return *text == '\0';
}

// The multiplier a suffix letter stands for; 1 for none.
double multiplier(const char** text) {
  const char c = **text;
  const double factor = c == 'k' ? 1e3 : c == 'M' ? 1e6 : c == 'G' ? 1e9 : 1;
  if (factor != 1) ++*text;
  return factor;
}

}  // namespace

bool parseRate(const char* text, Rate* rate) {
  if (text == nullptr) return false;
  long double value = 0;
  long double scale = 0;  // 0 before the point, then 0.1, 0.01, ...
  bool digits = false;
  for (; isDigit(*text) || (*text == '.' && scale == 0); ++text) {
    if (*text == '.') {
      scale = 1;
      continue;
    }
    digits = true;
    const int digit = *text - '0';
    if (scale == 0) {
      value = value * 10 + digit;
    } else {
      scale /= 10;
      value += digit * scale;
    }
  }
  if (!digits) return false;
  value *= multiplier(&text);
  const bool datagrams = std::strcmp(text, "pps") == 0;
  if (!datagrams && *text != '\0') return false;
  const double result = static_cast<double>(value);
  if (!std::isfinite(result) || result <= 0) return false;
  rate->value = result;
  rate->datagrams = datagrams;
  return true;
}

double datagramsPerSecond(const Rate& rate, std::size_t size) {
  if (rate.datagrams) return rate.value;
  return size == 0 ? 0 : rate.value / (8.0 * static_cast<double>(size));
}

bool burstPeriodNanoseconds(const Rate& rate, int burst, std::size_t size,
                            std::uint64_t* period) {
  const double perSecond = datagramsPerSecond(rate, size);
  if (!(perSecond > 0) || burst < 1) return false;
  const double nanoseconds = burst * 1e9 / perSecond;
  if (!(nanoseconds >= 1) || nanoseconds > static_cast<double>(kLargestPeriod)) {
    return false;
  }
  *period = static_cast<std::uint64_t>(std::llround(nanoseconds));
  return true;
}

bool parseDatagramSize(const char* text, std::size_t least, bool ipv6,
                       std::size_t* size) {
  const std::size_t most = ipv6 ? kLargestIpv6Datagram : kLargestIpv4Datagram;
  std::uint64_t value = 0;
  if (!parseWhole(text, most, &value) || value < least) return false;
  *size = static_cast<std::size_t>(value);
  return true;
}

bool parseBurst(const char* text, int* burst) {
  std::uint64_t value = 0;
  if (!parseWhole(text, kLargestBurst, &value) || value < 1) return false;
  *burst = static_cast<int>(value);
  return true;
}

}  // namespace stampcast
