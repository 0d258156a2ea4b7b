// What a run tells: the events the phases and run loops announce, and one
// writer of each form (text_report.h, json_report.h), chosen once by the
// command line. The loops count and time; the writers only format.
#ifndef STAMPCAST_TIMESTAMP_REPORT_REPORT_H_
#define STAMPCAST_TIMESTAMP_REPORT_REPORT_H_

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "settings/run_config.h"
#include "settings/run_plan.h"
#include "timestamp/measure/interval.h"
#include "timestamp/measure/measurement.h"
#include "timestamp/measure/statistics.h"
#include "timestamp/measure/trust.h"

namespace stampcast {

// One received datagram, as the receiver saw it.
struct ReceivedDatagram {
  LocalTime time{};
  bool whole = false;  // it held a valid calendar time
  std::int64_t seq = 0;
  const MeasuredFields* measured = nullptr;  // with -m
  std::int64_t at = 0;  // with -m: microseconds after "Receiving..."
  // With -u: the clock setting's result (0: set; -1: no whole time to set).
  const int* clock = nullptr;
  // With -k: whether its tag held, and whether it came again.
  Trust trust = Trust::kUnchecked;
};

// What a sender sent (with -m or -b): datagrams and their UDP payload
// bytes, the steady times of the first and the last send, and the times
// its schedule moved on (-b).
struct SenderTotals {
  std::uint64_t datagrams = 0;
  std::uint64_t bytes = 0;
  std::int64_t first = 0;
  std::int64_t last = 0;
  std::uint64_t slips = 0;
};

// The figures a sender's summary shows: seconds from the first send to the
// last, and datagrams and Mbit of payload a second over them (0 when the
// run took no time).
struct SenderRates {
  double seconds = 0;
  double datagramsPerSecond = 0;
  double mbitPerSecond = 0;
};
SenderRates senderRates(const SenderTotals& totals);

class Report {
 public:
  // A report made without a plan tells of an IPv4 group and no interface.
  Report(Platform& platform, const RunConfig& config,
         const RunPlan& plan = emptyPlan())
      : platform_(platform), config_(config), plan_(plan) {}
  virtual ~Report() = default;
  Report(const Report&) = delete;
  Report& operator=(const Report&) = delete;

  // A message, or an error that ends the run, as print() made it; written
  // at once.
  virtual void message(const std::string& text) = 0;
  virtual void error(const std::string& text) = 0;
  // The heading of the sender (`sender`) or the receiver: its settings.
  virtual void settings(bool sender) = 0;
  // One datagram that has just gone to `to`; `number` is its trailer's, or
  // negative without one. Written at once: false once nobody reads.
  virtual bool sent(const LocalTime& time, std::int64_t seq,
                    const SocketAddress& to, std::int64_t number) = 0;
  // These wait for flush(), in the order they came.
  virtual void received(const ReceivedDatagram& datagram) = 0;
  virtual void interval(const ReceiverStatistics& stats,
                        const IntervalSpan& span) = 0;
  virtual void summary(const ReceiverStatistics& stats) = 0;
  // What a sender sent to `to`, once its count has gone or a stop request
  // came; written at once.
  virtual void senderSummary(const SenderTotals& totals, const SocketAddress& to) = 0;
  // Writes what waits; false once nobody reads the output any more.
  virtual bool flush();
  // Whether the summary shows each stream's percentiles, which the
  // receiver must then keep.
  virtual bool streamPercentiles() const { return false; }

 protected:
  Platform& platform_;
  // Read when an event comes, never before: what was typed, and what the
  // command line resolved it into.
  const RunConfig& config_;
  const RunPlan& plan_;
  std::string pending_;
};

// Formats like printf and hands the text to the report as one message or
// one error; an empty text reports nothing.
void print(Report& report, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
void printError(Report& report, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_REPORT_REPORT_H_
