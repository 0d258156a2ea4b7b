#include "platform/small_file.h"

#include <string>

#include "platform/windows/windows_headers.h"

namespace stampcast {
namespace {

SmallFile failure(DWORD error) {
  SmallFile file;
  file.systemError = static_cast<int>(error);
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
    file.outcome = FileOutcome::kMissing;
  } else if (error == ERROR_ACCESS_DENIED) {
    file.outcome = FileOutcome::kDenied;
  }
  return file;
}

// The UTF-8 path as the system's UTF-16; empty when it is not UTF-8.
std::wstring widePath(const std::string& path) {
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS,
                                         path.data(), static_cast<int>(path.size()),
                                         nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(),
                      static_cast<int>(path.size()), &wide[0], length);
  return wide;
}

SmallFile readAll(HANDLE handle, std::size_t limit) {
  SmallFile file;
  char buffer[4096];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(handle, buffer, sizeof buffer, &got, nullptr)) {
      return failure(GetLastError());
    }
    if (got == 0) break;
    file.bytes.append(buffer, got);
    if (file.bytes.size() > limit) {
      file.outcome = FileOutcome::kTooLong;
      file.bytes.clear();
      return file;
    }
  }
  file.outcome = FileOutcome::kRead;
  return file;
}

}  // namespace

SmallFile readSmallFile(const std::string& path, std::size_t limit) {
  const std::wstring wide = widePath(path);
  if (wide.empty()) return failure(ERROR_INVALID_NAME);
  // A folder does not open (only with backup semantics): denied.
  const HANDLE handle =
      CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return failure(GetLastError());
  SmallFile file;
  LARGE_INTEGER size;
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    file.outcome = FileOutcome::kNotAFile;
  } else if (!GetFileSizeEx(handle, &size)) {
    file = failure(GetLastError());
  } else if (static_cast<unsigned long long>(size.QuadPart) > limit) {
    file.outcome = FileOutcome::kTooLong;
  } else {
    file = readAll(handle, limit);
  }
  CloseHandle(handle);
  return file;
}

}  // namespace stampcast

namespace stampcast {
namespace {

// The system's words for an error, in UTF-8, without the line end.
FileWrite writeFailure(DWORD error) {
  FileWrite result;
  result.systemError = static_cast<int>(error);
  wchar_t words[512];
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
      words, sizeof words / sizeof words[0], nullptr);
  result.reason = length > 0 ? windows::toUtf8(words, static_cast<int>(length))
                             : "error " + std::to_string(error);
  while (!result.reason.empty() &&
         (result.reason.back() == '\n' || result.reason.back() == '\r' ||
          result.reason.back() == ' ')) {
    result.reason.pop_back();
  }
  return result;
}

// Writes every byte to a new file at wide: 0 or GetLastError.
DWORD writeNew(const std::wstring& wide, const std::string& bytes) {
  const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return GetLastError();
  DWORD error = 0;
  std::size_t done = 0;
  while (error == 0 && done < bytes.size()) {
    const std::size_t rest = bytes.size() - done;
    const DWORD chunk = rest > 1u << 30 ? 1u << 30 : static_cast<DWORD>(rest);
    DWORD wrote = 0;
    if (!WriteFile(handle, bytes.data() + done, chunk, &wrote, nullptr)) {
      error = GetLastError();
    }
    done += wrote;
  }
  if (!CloseHandle(handle) && error == 0) error = GetLastError();
  return error;
}

}  // namespace

FileWrite replaceFile(const std::string& path, const std::string& bytes) {
  const std::wstring wide = widePath(path);
  if (wide.empty()) return writeFailure(ERROR_INVALID_NAME);
  const std::wstring temporary =
      wide + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
  DWORD error = writeNew(temporary, bytes);
  if (error == 0 &&
      !MoveFileExW(temporary.c_str(), wide.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    error = GetLastError();
  }
  if (error == 0) return FileWrite{};
  DeleteFileW(temporary.c_str());
  return writeFailure(error);
}

}  // namespace stampcast
