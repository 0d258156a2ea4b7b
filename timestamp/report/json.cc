#include "timestamp/report/json.h"

#include <cstdio>
#include <cstring>

#include "timestamp/report/text.h"

namespace stampcast {
namespace {

// The length of the valid UTF-8 sequence at text, or 0: no overlong forms,
// no surrogates, nothing above U+10FFFF.
std::size_t utf8Length(const unsigned char* text, std::size_t left) {
  const unsigned char lead = text[0];
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  }
  if (length == 0 || length > left) return 0;
  if (text[1] < low || text[1] > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (text[i] < 0x80 || text[i] > 0xBF) return 0;
  }
  return length;
}

}  // namespace

void appendJsonString(std::string& out, const char* text, std::size_t length) {
  static const char kHex[] = "0123456789abcdef";
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  out += '"';
  for (std::size_t i = 0; i < length;) {
    const unsigned char byte = bytes[i];
    if (byte >= 0x80) {
      const std::size_t sequence = utf8Length(bytes + i, length - i);
      if (sequence == 0) {
        out += "\xEF\xBF\xBD";  // U+FFFD for the one byte
        ++i;
      } else {
        out.append(text + i, sequence);
        i += sequence;
      }
      continue;
    }
    ++i;
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += static_cast<char>(byte);
    } else if (byte == '\n') {
      out += "\\n";
    } else if (byte == '\r') {
      out += "\\r";
    } else if (byte == '\t') {
      out += "\\t";
    } else if (byte < 0x20) {
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += static_cast<char>(byte);
    }
  }
  out += '"';
}

void appendScaled(std::string& out, std::int64_t value, int decimals) {
  std::uint64_t size = static_cast<std::uint64_t>(value);
  if (value < 0) {
    out += '-';
    size = 0 - size;
  }
  std::uint64_t unit = 1;
  for (int i = 0; i < decimals; ++i) unit *= 10;
  char digits[24];
  out.append(digits, static_cast<std::size_t>(
                         writeDecimal(digits, size / unit, 1) - digits));
  if (decimals == 0) return;
  out += '.';
  out.append(digits, static_cast<std::size_t>(
                         writeDecimal(digits, size % unit, decimals) - digits));
}

JsonRecord::JsonRecord(std::string& out, const char* type) : out(out) {
  out += "{\"type\":\"";
  out += type;
  out += '"';
}

void JsonRecord::key(const char* name) {
  if (!first_) out += ',';
  first_ = false;
  if (name == nullptr) return;  // a list's item
  out += '"';
  out += name;
  out += "\":";
}

void JsonRecord::text(const char* name, const char* value) {
  key(name);
  appendJsonString(out, value, std::strlen(value));
}

void JsonRecord::text(const char* name, const std::string& value) {
  key(name);
  appendJsonString(out, value.data(), value.size());
}

void JsonRecord::integer(const char* name, std::int64_t value) {
  key(name);
  appendScaled(out, value, 0);
}

void JsonRecord::count(const char* name, std::uint64_t value) {
  key(name);
  char digits[24];
  out.append(digits, static_cast<std::size_t>(writeDecimal(digits, value, 1) - digits));
}

void JsonRecord::scaled(const char* name, std::int64_t value, int decimals) {
  key(name);
  appendScaled(out, value, decimals);
}

void JsonRecord::fixed(const char* name, double value) {
  key(name);
  appendFormat(out, "%.3f", value);
}

void JsonRecord::boolean(const char* name, bool value) {
  key(name);
  out += value ? "true" : "false";
}

void JsonRecord::null(const char* name) {
  key(name);
  out += "null";
}

void JsonRecord::open(const char* name) {
  key(name);
  out += '{';
  first_ = true;
}

void JsonRecord::openList(const char* name) {
  key(name);
  out += '[';
  first_ = true;
}

void JsonRecord::item() {
  key(nullptr);
  out += '{';
  first_ = true;
}

void JsonRecord::close(char bracket) {
  out += bracket;
  first_ = false;
}

void JsonRecord::end() { out += "}\n"; }

}  // namespace stampcast
