// Shared keys, from a key file in chrony's form: one key a line,
//   ID TYPE HEX:0123abcd...   or   ID TYPE ASCII:text   or   ID TYPE text
// with `#` starting a comment line; blank lines are skipped. Only keys of
// type SHA256 and of at least 128 bits are used; a line of another type (or
// of none: chrony reads that as MD5) is skipped. A malformed line, or a
// SHA256 key that is too short or whose ID came before, makes the whole file
// unusable, with the line's number in the reason. The reasons never hold a
// key's bytes.
#ifndef STAMPCAST_TIMESTAMP_WIRE_KEY_FILE_H_
#define STAMPCAST_TIMESTAMP_WIRE_KEY_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/small_file.h"
#include "settings/shared_key.h"

namespace stampcast {

inline constexpr std::size_t kMinimumKeyLength = 16;  // 128 bits
inline constexpr std::size_t kKeyFileLimit = 65536;   // bytes


// The usable keys, in the file's order; or, when the file cannot be used,
// no keys and the reason (as "holds no SHA256 key", "line 3: ...").
struct KeyFile {
  std::vector<Key> keys;
  std::string error;
};

KeyFile parseKeyFile(const std::string& text);

// The keys of a file as the platform read it: its read failures and, on
// Linux, a file that its group or others may read, are reasons too.
KeyFile keyFileFrom(const SmallFile& file);

// Reads and parses the file at path (UTF-8).
KeyFile loadKeyFile(const std::string& path);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_WIRE_KEY_FILE_H_
