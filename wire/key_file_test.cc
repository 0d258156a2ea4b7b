#include "wire/key_file.h"

#include <gtest/gtest.h>

namespace stampcast {
namespace {

const char kHex16[] = "HEX:000102030405060708090a0b0c0d0e0F";

TEST(KeyFile, ParsesUsableKeysOrNamesTheLineAtFault) {
  const struct {
    std::string text;
    std::vector<std::uint32_t> ids;  // the keys taken, in order
    std::string error;
  } cases[] = {
      {"1 SHA256 " + std::string(kHex16) + "\n", {1}, ""},
      {"# rotated\n\n 7\tSHA256 ASCII:sixteen-letters!\r\n2 SHA256 bare-value-16-bytes",
       {7, 2}, ""},
      {"3 MD5 " + std::string(kHex16) + "\n4 HEX:00\n4294967295 SHA256 " + kHex16,
       {4294967295u}, ""},
      {"1 SHA256 ASCII:fifteen-bytes!!\n", {}, "line 1: key 1 is shorter than 128 bits"},
      {"1 SHA256 HEX:000102030405060708090a0b0c0d0e0\n", {}, "line 1: key 1 is not hexadecimal"},
      {"1 SHA256 HEX:000102030405060708090a0b0c0d0e0g\n", {}, "line 1: key 1 is not hexadecimal"},
      {"#\n4294967296 SHA256 " + std::string(kHex16), {},
       "line 2: key ID not a number from 0 to 4294967295"},
      {"-1 SHA256 " + std::string(kHex16), {}, "line 1: key ID not a number from 0 to 4294967295"},
      {"1 SHA256 " + std::string(kHex16) + " extra", {}, "line 1: not a key (ID TYPE VALUE)"},
      {"1 SHA256 " + std::string(kHex16) + "\n1 SHA256 " + kHex16, {},
       "line 2: key ID 1 given twice"},
      {"5 AES128 " + std::string(kHex16), {}, "holds no SHA256 key"},
      {"", {}, "holds no SHA256 key"},
  };
  for (const auto& c : cases) {
    const KeyFile parsed = parseKeyFile(c.text);
    std::vector<std::uint32_t> ids;
    for (const Key& key : parsed.keys) ids.push_back(key.id);
    EXPECT_EQ(ids, c.ids) << c.text;
    EXPECT_EQ(parsed.error, c.error) << c.text;
  }
  const Key hex = parseKeyFile("1 SHA256 " + std::string(kHex16)).keys.at(0);
  EXPECT_EQ(hex.bytes.size(), 16u);
  EXPECT_EQ(hex.bytes[15], 0x0f);
}

TEST(KeyFile, AFileOthersMayReadOrNotReadIsRefused) {
  SmallFile file;
  file.outcome = FileOutcome::kRead;
  file.bytes = "1 SHA256 " + std::string(kHex16);
  EXPECT_EQ(keyFileFrom(file).keys.size(), 1u);
  file.othersMayRead = true;
  EXPECT_EQ(keyFileFrom(file).error, "can be read by group or others");
  EXPECT_TRUE(keyFileFrom(file).keys.empty());
  file.outcome = FileOutcome::kFailed;
  file.systemError = 5;
  EXPECT_EQ(keyFileFrom(file).error, "cannot be read (error 5)");
}

}  // namespace
}  // namespace stampcast
