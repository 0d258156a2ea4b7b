// Standard output in whole lines, over a system write that may take only part
// of what it is handed and then refuse more for a while (a full disk). Both
// backends put their writeOutput on it, each with its own raw write.
#ifndef STAMPCAST_PLATFORM_COMMON_LINE_OUTPUT_H_
#define STAMPCAST_PLATFORM_COMMON_LINE_OUTPUT_H_

#include <cstddef>
#include <string>

namespace stampcast {

class LineOutput {
 public:
  // One system write: the bytes it took from the front of the text (at
  // least 1), or one of the two failures below. It waits out what only
  // delays a write (an interrupting signal, a full non-blocking pipe).
  using RawWrite = long (*)(const char* bytes, std::size_t length);
  static constexpr long kRefused = -1;  // nothing taken now: the text is lost
  static constexpr long kGone = -2;     // the reader has gone for good

  explicit LineOutput(RawWrite write) : write_(write) {}

  // Writes the text, or loses it in whole lines: the rest of a line that a
  // refusal cut goes out first, at the next call that the output takes it;
  // what comes after it is lost while the output refuses. Returns false
  // once the reader has gone.
  bool write(const char* text, std::size_t length);

 private:
  // Writes until all went or the output refused; returns what went.
  std::size_t send(const char* text, std::size_t length);
  // After a refusal: keeps the rest of the line the output stands in, from
  // text, and loses the whole lines after it.
  void cut(const char* text, const char* end);

  RawWrite write_;
  std::string owed_;        // the rest of a cut line, due before anything
  bool lineStart_ = true;   // the output stands at the start of a line
  bool dropping_ = false;   // the start of the current line was lost
  bool gone_ = false;
};

}  // namespace stampcast

#endif  // STAMPCAST_PLATFORM_COMMON_LINE_OUTPUT_H_
