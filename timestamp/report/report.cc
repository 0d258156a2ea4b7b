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
