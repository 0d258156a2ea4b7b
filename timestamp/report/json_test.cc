#include "timestamp/report/json.h"

#include <gtest/gtest.h>

namespace stampcast {
namespace {

// Interface names may hold any byte: what each becomes inside the quotes.
TEST(Json, StringsEscapedAndInvalidUtf8Replaced) {
  const std::string bad = "\xef\xbf\xbd";
  const struct { std::string in, out; } cases[] = {
      {"a\"b\\c/", "a\\\"b\\\\c/"},
      {"\n\r\t\x01\x1f\x7f", "\\n\\r\\t\\u0001\\u001f\x7f"},
      {std::string("a\0b", 3), "a\\u0000b"},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80 \xf4\x8f\xbf\xbf", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80 \xf4\x8f\xbf\xbf"},
      {"x\xffy", "x" + bad + "y"},
      {"\xc3", bad},  // cut short
      {"\xc0\xaf", bad + bad},  // overlong
      {"\xed\xa0\x80", bad + bad + bad},  // a surrogate
      {"\xf4\x90\x80\x80", bad + bad + bad + bad},  // above U+10FFFF
  };
  for (const auto& test : cases) {
    std::string out;
    appendJsonString(out, test.in.data(), test.in.size());
    EXPECT_EQ(out, "\"" + test.out + "\"") << test.in;
  }
}

TEST(Json, ScaledNumbers) {
  const struct { std::int64_t value; int decimals; const char* out; } cases[] = {
      {412, 3, "0.412"}, {-1500, 3, "-1.500"}, {7, 0, "7"}, {-7, 6, "-0.000007"},
      {INT64_MIN, 6, "-9223372036854.775808"},
  };
  for (const auto& test : cases) {
    std::string out;
    appendScaled(out, test.value, test.decimals);
    EXPECT_EQ(out, test.out);
  }
}

}  // namespace
}  // namespace stampcast
