#include "platform/common/line_output.h"

#include <cstring>

namespace stampcast {
namespace {

// The end of the text's first line, past its newline; end when it has none.
const char* afterFirstLine(const char* text, const char* end) {
  const void* newline =
      std::memchr(text, '\n', static_cast<std::size_t>(end - text));
  return newline ? static_cast<const char*>(newline) + 1 : end;
}

}  // namespace

bool LineOutput::write(const char* text, std::size_t length) {
  const char* end = text + length;
  if (dropping_ || (!owed_.empty() && owed_.back() != '\n')) {
    // The text's first line goes on with a line that was lost, or cut.
    const char* next = afterFirstLine(text, end);
    if (dropping_) {
      dropping_ = next == text || next[-1] != '\n';
    } else {
      owed_.append(text, next);
    }
    text = next;
  }
  if (!owed_.empty()) {
    owed_.erase(0, send(owed_.data(), owed_.size()));
    if (!owed_.empty()) {
      // Still refused: the lines after the cut one are lost whole.
      dropping_ = dropping_ || (text != end && end[-1] != '\n');
      return !gone_;
    }
  }
  const std::size_t went = send(text, static_cast<std::size_t>(end - text));
  if (text + went != end) cut(text + went, end);
  return !gone_;
}

std::size_t LineOutput::send(const char* text, std::size_t length) {
  std::size_t went = 0;
  while (went < length) {
    const long taken = write_(text + went, length - went);
    if (taken <= 0) {
      gone_ = gone_ || taken == kGone;
      break;
    }
    went += static_cast<std::size_t>(taken);
  }
  if (went > 0) lineStart_ = text[went - 1] == '\n';
  return went;
}

void LineOutput::cut(const char* text, const char* end) {
  const char* lost = text;
  if (!lineStart_) {
    lost = afterFirstLine(text, end);
    owed_.assign(text, lost);
  }
  dropping_ = lost != end && end[-1] != '\n';
}

}  // namespace stampcast
