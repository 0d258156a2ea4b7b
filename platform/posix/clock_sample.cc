#include "platform/clock_sample.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace stampcast {
namespace {

// The record as the service reads it: its struct timeval and ints are this
// system's, as they are in the service's build.
struct ServiceSample {
  struct timeval tv;
  double offset;
  int pulse;
  int leap;
  int pad;
  int magic;
};

}  // namespace

SocketHandle openClockSampleSocket(int* error) {
  const int descriptor = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (descriptor < 0) {
    *error = errno;
    return kInvalidSocket;
  }
  *error = 0;
  return static_cast<SocketHandle>(descriptor);
}

int sendClockSample(SocketHandle socket, const std::string& path,
                    const ClockSample& sample) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) {
    return ENAMETOOLONG;
  }
  std::memcpy(address.sun_path, path.data(), path.size());
  ServiceSample record{};
  record.tv.tv_sec = static_cast<time_t>(sample.seconds);
  record.tv.tv_usec = static_cast<suseconds_t>(sample.microseconds);
  record.offset = sample.offset;
  record.pulse = sample.pulse;
  record.leap = sample.leap;
  record.magic = sample.magic;
  const ssize_t sent =
      ::sendto(static_cast<int>(socket), &record, sizeof record, MSG_DONTWAIT,
               reinterpret_cast<const sockaddr*>(&address), sizeof address);
  if (sent < 0) return errno;
  return sent == static_cast<ssize_t>(sizeof record) ? 0 : EMSGSIZE;
}

void closeClockSampleSocket(SocketHandle socket) {
  if (socket != kInvalidSocket) ::close(static_cast<int>(socket));
}

}  // namespace stampcast
