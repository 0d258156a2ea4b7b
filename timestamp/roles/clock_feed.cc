#include "timestamp/roles/clock_feed.h"

#include "timestamp/wire/calendar.h"
#include "timestamp/wire/refclock_sample.h"
#include "timestamp/wire/trailer.h"

namespace stampcast {

ClockFeed::ClockFeed(const RunConfig& config, Report& report)
    : on_(config.sampleSocket != nullptr),
      path_(on_ ? config.sampleSocket : ""),
      report_(report) {}

ClockFeed::~ClockFeed() {
  if (socket_ != kInvalidSocket) closeClockSampleSocket(socket_);
}

bool ClockFeed::start() {
  if (!on_) return true;
  int error = 0;
  socket_ = openClockSampleSocket(&error);
  if (socket_ != kInvalidSocket) return true;
  if (error == kClockSamplesUnsupported) {
    printError(report_, "Not supported on this system: -y\n");
  } else {
    printError(report_, "Cannot open a socket for -y: error %d\n", error);
  }
  return false;
}

void ClockFeed::offer(const Arrival& arrival, const std::uint8_t* datagram, int length,
                      const LocalTime& time) {
  if (!on_) return;
  Trailer trailer;
  std::int64_t offset;
  if (decodeTrailer(datagram, length, &trailer)) {
    offset = trailer.sentUtcNanoseconds - arrival.utcNanoseconds;
  } else {
    offset = (calendarMilliseconds(time) - calendarMilliseconds(arrival.local)) * 1000000;
  }
  const int error =
      sendClockSample(socket_, path_, refclockSample(arrival.utcNanoseconds, offset));
  if (error != 0 && !failing_) {
    print(report_, "Cannot hand samples to %s: error %d; trying again at each datagram\n",
          path_.c_str(), error);
  }
  failing_ = error != 0;
}

}  // namespace stampcast
