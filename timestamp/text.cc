#include "timestamp/text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "timestamp/json.h"

namespace stampcast {
namespace {

// Formats into `line` when the text fits its `capacity` bytes, else into
// `big`; returns the text and sets `length`, or nullptr on a format error.
const char* formatText(char* line, std::size_t capacity, std::string& big,
                       std::size_t* length, const char* format,
                       va_list args) {
  va_list again;
  va_copy(again, args);
  const int needed = std::vsnprintf(line, capacity, format, args);
  if (needed < 0) {
    va_end(again);
    return nullptr;
  }
  *length = static_cast<std::size_t>(needed);
  if (*length < capacity) {
    va_end(again);
    return line;
  }
  // Only an oversized word from the command line takes this path.
  big.assign(*length + 1, '\0');
  std::vsnprintf(&big[0], big.size(), format, again);
  va_end(again);
  return big.data();
}

bool jsonLines = false;

// The lines of a text as records of `type`, without their blank lines and
// line ends, in one write.
void writeRecords(Platform& platform, const char* type, const char* text,
                  std::size_t length) {
  std::string records;
  const char* end = text + length;
  for (const char* line = text; line < end;) {
    const char* stop = static_cast<const char*>(
        std::memchr(line, '\n', static_cast<std::size_t>(end - line)));
    if (stop == nullptr) stop = end;
    if (stop > line) {
      JsonRecord record(records, type);
      record.text("text", std::string(line, stop));
      record.end();
    }
    line = stop + 1;
  }
  if (!records.empty()) platform.writeOutput(records.data(), records.size());
}

void printAs(Platform& platform, const char* type, const char* format,
             va_list args) {
  char line[256];
  std::string big;
  std::size_t length = 0;
  const char* text = formatText(line, sizeof line, big, &length, format, args);
  if (text == nullptr) return;
  if (jsonLines) {
    writeRecords(platform, type, text, length);
  } else {
    platform.writeOutput(text, length);
  }
}

}  // namespace

void setJsonOutput(bool on) { jsonLines = on; }

bool jsonOutput() { return jsonLines; }

void print(Platform& platform, const char* format, ...) {
  va_list args;
  va_start(args, format);
  printAs(platform, "message", format, args);
  va_end(args);
}

void printError(Platform& platform, const char* format, ...) {
  va_list args;
  va_start(args, format);
  printAs(platform, "error", format, args);
  va_end(args);
}

void appendFormat(std::string& text, const char* format, ...) {
  char line[256];
  std::string big;
  std::size_t length = 0;
  va_list args;
  va_start(args, format);
  const char* made = formatText(line, sizeof line, big, &length, format, args);
  va_end(args);
  if (made != nullptr) text.append(made, length);
}

char* writeDecimal(char* out, std::uint64_t value, int minDigits) {
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count < minDigits && count < 20) digits[count++] = '0';
  while (count > 0) *out++ = digits[--count];
  return out;
}

char* writeAddress(char* out, const SocketAddress& address) {
  // Network order: the first byte in memory is the first of the text.
  std::uint8_t bytes[4];
  std::memcpy(bytes, &address.address, sizeof bytes);
  for (int i = 0; i < 4; ++i) {
    if (i > 0) *out++ = '.';
    out = writeDecimal(out, bytes[i], 1);
  }
  *out++ = ':';
  std::uint8_t port[2];
  std::memcpy(port, &address.port, sizeof port);
  return writeDecimal(out, static_cast<std::uint64_t>(port[0] << 8 | port[1]), 1);
}

}  // namespace stampcast
