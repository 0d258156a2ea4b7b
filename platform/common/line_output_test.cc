#include "platform/common/line_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace stampcast {
namespace {

// An output that takes at most two bytes a write, and refuses once the room
// it has left is used up.
std::string written;
std::size_t room;

long scriptedWrite(const char* bytes, std::size_t length) {
  if (room == 0) return LineOutput::kRefused;
  const std::size_t taken = std::min({length, room, std::size_t{2}});
  written.append(bytes, taken);
  room -= taken;
  return static_cast<long>(taken);
}

constexpr std::size_t kAll = 1000;

// Texts handed over one by one, each with the room the output has for it,
// and what reaches the output: no line cut, none glued to another.
TEST(LineOutput, CutLinesAreFinishedFirstAndRefusedLinesLostWhole) {
  const struct {
    std::vector<std::pair<const char*, std::size_t>> texts;
    const char* out;
  } cases[] = {
      {{{"abc\ndef\n", 5}, {"ghi\n", 0}, {"jk\nl", 1}, {"m\nn\n", kAll}},
       "abc\ndef\nn\n"},
      // A report whose line ends in the next one.
      {{{"\nSuccess: A", 3}, {"\nB\n", 0}, {"\nC\n", kAll}},
       "\nSuccess: A\n\nC\n"},
      {{{"x\n", kAll}, {"abc", 0}, {"de", kAll}, {"f\nghi\n", kAll}},
       "x\nghi\n"},
      {{{"ab", kAll}, {"cd\nef\n", 0}, {"gh\n", kAll}}, "abcd\ngh\n"},
  };
  for (const auto& c : cases) {
    LineOutput output(scriptedWrite);
    written.clear();
    for (const auto& [text, space] : c.texts) {
      room = space;
      EXPECT_TRUE(output.write(text, std::char_traits<char>::length(text)));
    }
    EXPECT_EQ(written, c.out) << c.texts.front().first;
  }
}

}  // namespace
}  // namespace stampcast
