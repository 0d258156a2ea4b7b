// -y: each timestamp the receiver may take goes, as a sample, to a time
// service's reference-clock socket (chronyd's SOCK driver), which filters,
// slews and guards it; the receiver sets nothing itself.
#ifndef STAMPCAST_TIMESTAMP_ROLES_CLOCK_FEED_H_
#define STAMPCAST_TIMESTAMP_ROLES_CLOCK_FEED_H_

#include <cstdint>
#include <string>

#include "platform/clock_sample.h"
#include "platform/types.h"
#include "settings/run_config.h"
#include "timestamp/report/report.h"

namespace stampcast {

class ClockFeed {
 public:
  explicit ClockFeed(const RunConfig& config, Report& report);
  ~ClockFeed();
  ClockFeed(const ClockFeed&) = delete;
  ClockFeed& operator=(const ClockFeed&) = delete;

  bool on() const { return on_; }
  // Opens the socket samples go from: false after the report of a system
  // without the service's socket, or of a socket that cannot be made.
  bool start();
  // The sample of a datagram with a whole time that arrived at `arrival`:
  // the offset from the trailer's send time when it carries one, else from
  // its local time read in this host's zone. A socket that is not there or
  // not served is told once, and tried again with the next sample.
  void offer(const Arrival& arrival, const std::uint8_t* datagram, int length,
             const LocalTime& time);

 private:
  bool on_;
  std::string path_;
  Report& report_;
  SocketHandle socket_ = kInvalidSocket;
  bool failing_ = false;
};

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_ROLES_CLOCK_FEED_H_
