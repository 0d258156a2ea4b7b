#include "timestamp/wire/key_file.h"

#include <gtest/gtest.h>

namespace stampcast {
namespace {

TEST(KeyFile, ParsesUsableKeysOrNamesTheLineAtFault) {
  const std::string hex = " HEX:000102030405060708090a0b0c0d0e0F";
  const struct {
    std::string text;
    std::vector<std::uint32_t> ids;  // the keys taken, in order
    std::string error;
  } cases[] = {
      {"# rotated\n\n 7\tSHA256 ASCII:sixteen-letters!\r\n2 SHA256 bare-value-16-bytes",
       {7, 2}, ""},
      {"3 MD5" + hex + "\n4 HEX:00\n4294967295 SHA256" + hex, {4294967295u}, ""},
      {"1 SHA256 ASCII:fifteen-bytes!!\n", {}, "line 1: key 1 is shorter than 128 bits"},
      {"1 SHA256" + hex.substr(0, 36) + "g", {}, "line 1: key 1 is not hexadecimal"},
      {"#\n4294967296 SHA256" + hex, {}, "line 2: key ID not a number from 0 to 4294967295"},
      {"1 SHA256" + hex + " extra", {}, "line 1: not a key (ID TYPE VALUE)"},
      {"1 SHA256" + hex + "\n1 SHA256" + hex, {}, "line 2: key ID 1 given twice"},
      {"5 AES128" + hex, {}, "holds no SHA256 key"},
      {"", {}, "holds no SHA256 key"},
  };
  for (const auto& c : cases) {
    const KeyFile parsed = parseKeyFile(c.text);
    std::vector<std::uint32_t> ids;
    for (const Key& key : parsed.keys) ids.push_back(key.id);
    EXPECT_EQ(ids, c.ids) << c.text;
    EXPECT_EQ(parsed.error, c.error) << c.text;
  }
  const std::vector<std::uint8_t> bytes = parseKeyFile("1 SHA256" + hex).keys.at(0).bytes;
  EXPECT_EQ(bytes, std::vector<std::uint8_t>({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
}

}  // namespace
}  // namespace stampcast
