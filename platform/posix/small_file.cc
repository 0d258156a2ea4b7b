#include "platform/small_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace stampcast {
namespace {

SmallFile failure(int error) {
  SmallFile file;
  file.systemError = error;
  if (error == ENOENT || error == ENOTDIR) {
    file.outcome = FileOutcome::kMissing;
  } else if (error == EACCES || error == EPERM) {
    file.outcome = FileOutcome::kDenied;
  }
  return file;
}

// Reads up to limit + 1 bytes, so that a file that grew after fstat is
// still found too long.
SmallFile readAll(int descriptor, std::size_t limit) {
  SmallFile file;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(descriptor, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return failure(errno);
    if (got == 0) break;
    file.bytes.append(buffer, static_cast<std::size_t>(got));
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
  // Non-blocking, so that a named pipe does not hang the open.
  const int descriptor =
      ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (descriptor < 0) return failure(errno);
  struct stat status;
  SmallFile file;
  if (::fstat(descriptor, &status) != 0) {
    file = failure(errno);
  } else if (!S_ISREG(status.st_mode)) {
    file.outcome = FileOutcome::kNotAFile;
  } else if (static_cast<unsigned long long>(status.st_size) > limit) {
    file.outcome = FileOutcome::kTooLong;
  } else {
    file = readAll(descriptor, limit);
    file.othersMayRead = (status.st_mode & (S_IRGRP | S_IROTH)) != 0;
  }
  ::close(descriptor);
  return file;
}

}  // namespace stampcast
