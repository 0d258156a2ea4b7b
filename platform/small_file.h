// A small file read whole, for settings the run reads at its start (a key
// file), and a file written whole in place of another (the metrics' file).
// The path is UTF-8 on every system.
#ifndef STAMPCAST_PLATFORM_SMALL_FILE_H_
#define STAMPCAST_PLATFORM_SMALL_FILE_H_

#include <cstddef>
#include <string>

namespace stampcast {

enum class FileOutcome {
  kRead,
  kMissing,    // no such file, or a folder on its path missing
  kDenied,     // the system refused to open it
  kNotAFile,   // a folder, a device, a pipe
  kTooLong,    // longer than the limit
  kFailed,     // another failure: systemError tells it
};

struct SmallFile {
  FileOutcome outcome = FileOutcome::kFailed;
  std::string bytes;            // all of it, once read
  bool othersMayRead = false;   // POSIX: its group or others may read it
  int systemError = 0;          // errno or GetLastError, when it failed
};

// Reads the file at path whole, when it is a regular file of at most limit
// bytes. Windows tells no permissions: othersMayRead stays false there.
SmallFile readSmallFile(const std::string& path, std::size_t limit);

// The outcome of replaceFile: 0 or errno / GetLastError, and the system's
// own words for it (UTF-8, without a line end).
struct FileWrite {
  int systemError = 0;
  std::string reason;
};

// Writes the bytes to a temporary file beside path, then renames it over
// path (rename, MoveFileExW with MOVEFILE_REPLACE_EXISTING), so that a
// reader of path sees the old file or the new one, never part of one. The
// bytes go as they are: no line end is translated.
FileWrite replaceFile(const std::string& path, const std::string& bytes);

}  // namespace stampcast

#endif  // STAMPCAST_PLATFORM_SMALL_FILE_H_
