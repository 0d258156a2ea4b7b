// Windows has no time service that reads samples from a socket.
#include "platform/clock_sample.h"

namespace stampcast {

SocketHandle openClockSampleSocket(int* error) {
  *error = kClockSamplesUnsupported;
  return kInvalidSocket;
}

int sendClockSample(SocketHandle, const std::string&, const ClockSample&) {
  return kClockSamplesUnsupported;
}

void closeClockSampleSocket(SocketHandle) {}

}  // namespace stampcast
