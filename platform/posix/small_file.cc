#include "platform/small_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

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

namespace stampcast {
namespace {

FileWrite writeFailure(int error) {
  FileWrite result;
  result.systemError = error;
  result.reason = std::strerror(error);
  return result;
}

// Writes every byte, resuming after a short or interrupted write: 0 or errno.
int writeAll(int descriptor, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = ::write(descriptor, bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote < 0) return errno;
    done += static_cast<std::size_t>(wrote);
  }
  return 0;
}

}  // namespace

FileWrite replaceFile(const std::string& path, const std::string& bytes) {
  const std::string temporary = path + "." + std::to_string(::getpid()) + ".tmp";
  const int descriptor = ::open(temporary.c_str(),
                                O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0644);
  if (descriptor < 0) return writeFailure(errno);
  int error = writeAll(descriptor, bytes);
  if (::close(descriptor) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error == 0) return FileWrite{};
  ::unlink(temporary.c_str());
  return writeFailure(error);
}

}  // namespace stampcast
