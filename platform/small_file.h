// A small file read whole, for settings the run reads at its start (a key
// file). The path is UTF-8 on every system.
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

}  // namespace stampcast

#endif  // STAMPCAST_PLATFORM_SMALL_FILE_H_
