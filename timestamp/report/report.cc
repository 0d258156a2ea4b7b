#include "timestamp/report/report.h"

#include <cstdarg>

#include "timestamp/report/text.h"

namespace stampcast {

bool Report::flush() {
  if (pending_.empty()) return true;
  const bool open = platform_.writeOutput(pending_.data(), pending_.size());
  pending_.clear();
  return open;
}

SenderRates senderRates(const SenderTotals& totals) {
  SenderRates rates;
  if (totals.last <= totals.first) return rates;
  rates.seconds = static_cast<double>(totals.last - totals.first) / 1e9;
  rates.datagramsPerSecond = static_cast<double>(totals.datagrams) / rates.seconds;
  rates.mbitPerSecond = static_cast<double>(totals.bytes) * 8 / rates.seconds / 1e6;
  return rates;
}

void print(Report& report, const char* format, ...) {
  std::string text;
  va_list args;
  va_start(args, format);
  appendFormatList(text, format, args);
  va_end(args);
  if (!text.empty()) report.message(text);
}

void printError(Report& report, const char* format, ...) {
  std::string text;
  va_list args;
  va_start(args, format);
  appendFormatList(text, format, args);
  va_end(args);
  if (!text.empty()) report.error(text);
}

}  // namespace stampcast
