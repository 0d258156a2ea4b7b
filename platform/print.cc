#include "platform/print.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace stampcast {

void print(Platform& platform, const char* format, ...) {
  // Every report line fits here; only an oversized word from the command
  // line takes the slow path.
  char line[256];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int needed = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (needed < 0) {
    va_end(again);
    return;
  }
  if (static_cast<std::size_t>(needed) < sizeof line) {
    va_end(again);
    platform.writeOutput(line, static_cast<std::size_t>(needed));
    return;
  }
  std::string big(static_cast<std::size_t>(needed) + 1, '\0');
  std::vsnprintf(&big[0], big.size(), format, again);
  va_end(again);
  platform.writeOutput(big.data(), static_cast<std::size_t>(needed));
}

}  // namespace stampcast
