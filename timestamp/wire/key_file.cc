#include "timestamp/wire/key_file.h"

#include <sstream>

namespace stampcast {
namespace {

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
         (c >= 'A' && c <= 'F');
}

int hexValue(char c) {
  if (c <= '9') return c - '0';
  return (c | 0x20) - 'a' + 10;
}

// A decimal number from 0 to 4294967295, digits only.
bool parseId(const std::string& word, std::uint32_t* id) {
  if (word.empty() || word.size() > 10) return false;
  std::uint64_t value = 0;
  for (const char c : word) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > 0xffffffffu) return false;
  *id = static_cast<std::uint32_t>(value);
  return true;
}

// The key's bytes from HEX:..., ASCII:... or a bare ASCII value.
bool parseValue(const std::string& word, std::vector<std::uint8_t>* bytes) {
  if (word.compare(0, 4, "HEX:") != 0) {
    const std::size_t skip = word.compare(0, 6, "ASCII:") == 0 ? 6 : 0;
    bytes->assign(word.begin() + skip, word.end());
    return true;
  }
  const std::string hex = word.substr(4);
  if (hex.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    if (!isHexDigit(hex[i]) || !isHexDigit(hex[i + 1])) return false;
    bytes->push_back(
        static_cast<std::uint8_t>(hexValue(hex[i]) * 16 + hexValue(hex[i + 1])));
  }
  return true;
}

bool seen(const std::vector<Key>& keys, std::uint32_t id) {
  for (const Key& key : keys) {
    if (key.id == id) return true;
  }
  return false;
}

// One line's words: adds its key when usable; the reason when malformed.
std::string takeLine(const std::vector<std::string>& words,
                     std::vector<Key>* keys) {
  if (words.size() < 2 || words.size() > 3) {
    return "not a key (ID TYPE VALUE)";
  }
  Key key;
  if (!parseId(words[0], &key.id)) {
    return "key ID not a number from 0 to 4294967295";
  }
  if (!parseValue(words.back(), &key.bytes)) {
    return "key " + std::to_string(key.id) + " is not hexadecimal";
  }
  if (words.size() == 2 || words[1] != "SHA256") return "";
  if (key.bytes.size() < kMinimumKeyLength) {
    return "key " + std::to_string(key.id) + " is shorter than 128 bits";
  }
  if (seen(*keys, key.id)) {
    return "key ID " + std::to_string(key.id) + " given twice";
  }
  keys->push_back(key);
  return "";
}

}  // namespace

KeyFile parseKeyFile(const std::string& text) {
  KeyFile result;
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    std::istringstream split(line);  // blanks, tabs and a CR are spaces
    std::vector<std::string> words;
    for (std::string word; split >> word;) words.push_back(word);
    if (words.empty() || words[0][0] == '#') continue;
    const std::string reason = takeLine(words, &result.keys);
    if (!reason.empty()) {
      result.keys.clear();
      result.error = "line " + std::to_string(number) + ": " + reason;
      return result;
    }
  }
  if (result.keys.empty()) result.error = "holds no SHA256 key";
  return result;
}

KeyFile keyFileFrom(const SmallFile& file) {
  KeyFile result;
  switch (file.outcome) {
    case FileOutcome::kRead:
      if (file.othersMayRead) {
        result.error = "can be read by group or others";
        return result;
      }
      return parseKeyFile(file.bytes);
    case FileOutcome::kMissing:
      result.error = "no such file";
      return result;
    case FileOutcome::kDenied:
      result.error = "permission denied";
      return result;
    case FileOutcome::kNotAFile:
      result.error = "not a file";
      return result;
    case FileOutcome::kTooLong:
      result.error = "longer than " + std::to_string(kKeyFileLimit) + " bytes";
      return result;
    case FileOutcome::kFailed:
      break;
  }
  result.error = "cannot be read (error " + std::to_string(file.systemError) + ")";
  return result;
}

KeyFile loadKeyFile(const std::string& path) {
  return keyFileFrom(readSmallFile(path, kKeyFileLimit));
}

}  // namespace stampcast
