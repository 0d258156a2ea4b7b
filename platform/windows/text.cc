// Text at the system's edge on Windows: the program works in UTF-8, and the
// system speaks UTF-16. The command line is read anew as UTF-16 (the narrow
// argv holds it in the ANSI code page, which loses what that page cannot
// show), and a console is written in UTF-16, whatever its code page; files
// and pipes take the UTF-8 bytes as they are.
#include "platform/windows/windows_headers.h"
#include "platform/windows/windows_platform.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The C runtime's own parse of the command line into UTF-16 words
// (msvcrt.dll), documented beside __getmainargs; it is what a wmain gets.
struct StartupInfo {
  int newMode;
};
extern "C" int __cdecl __wgetmainargs(int* argc, wchar_t*** argv,
                                      wchar_t*** environment, int expand,
                                      StartupInfo* info);

}  // namespace

namespace stampcast {
namespace windows {

std::string toUtf8(const wchar_t* wide, int length) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0,
                                       nullptr, nullptr);
  if (size <= 0) return "";
  std::string text(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, length, &text[0], size, nullptr,
                      nullptr);
  if (length < 0) text.resize(static_cast<std::size_t>(size - 1));
  return text;
}

namespace {

// The UTF-8 bytes that the first `units` of the text's UTF-16 take.
std::size_t utf8Length(const wchar_t* wide, std::size_t units) {
  return units == 0 ? 0
                    : static_cast<std::size_t>(WideCharToMultiByte(
                          CP_UTF8, 0, wide, static_cast<int>(units), nullptr,
                          0, nullptr, nullptr));
}

}  // namespace

// A write to a console: the text as UTF-16. A large write can fail with
// ERROR_NOT_ENOUGH_MEMORY (the console's buffer is shared); the rest is then
// tried in halves, never splitting a surrogate pair. Returns the bytes of
// the text written, or a LineOutput failure when none was.
long writeConsole(void* console, const char* bytes, std::size_t length) {
  const int most = 1 << 24;
  const int taken = length < static_cast<std::size_t>(most)
                        ? static_cast<int>(length)
                        : most;
  const int units = MultiByteToWideChar(CP_UTF8, 0, bytes, taken, nullptr, 0);
  if (units <= 0) return -1;
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, bytes, taken, &wide[0], units);
  std::size_t at = 0;
  std::size_t piece = wide.size();
  while (at < wide.size()) {
    std::size_t count = std::min(piece, wide.size() - at);
    if (count > 1 && count < wide.size() - at &&
        IS_HIGH_SURROGATE(wide[at + count - 1])) {
      --count;
    }
    DWORD written = 0;
    if (WriteConsoleW(console, wide.data() + at, static_cast<DWORD>(count),
                      &written, nullptr) &&
        written > 0) {
      at += written;
    } else if (GetLastError() == ERROR_NOT_ENOUGH_MEMORY && piece > 1) {
      piece = (count + 1) / 2;
    } else {
      break;
    }
  }
  if (at == 0) return -1;
  return static_cast<long>(at == wide.size() ? static_cast<std::size_t>(taken)
                                             : utf8Length(wide.data(), at));
}

}  // namespace windows

std::vector<std::string> commandLine(int argc, char** argv) {
  int count = 0;
  wchar_t** words = nullptr;
  wchar_t** environment = nullptr;
  StartupInfo info{0};
  std::vector<std::string> result;
  if (__wgetmainargs(&count, &words, &environment, 0, &info) < 0 ||
      words == nullptr) {
    // Without the wide words, the narrow ones as they came.
    for (int i = 0; i < argc; ++i) result.emplace_back(argv[i]);
    return result;
  }
  for (int i = 0; i < count; ++i) {
    result.push_back(windows::toUtf8(words[i], -1));
  }
  return result;
}

}  // namespace stampcast
