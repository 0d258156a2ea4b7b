// What the receiver and the sender print beyond the per-datagram text
// lines: the interval reports (-a) in text, and every record of -o json.
// They read what statistics.* and streams.* counted; nothing here counts.
#ifndef STAMPCAST_TIMESTAMP_REPORT_REPORTS_H_
#define STAMPCAST_TIMESTAMP_REPORT_REPORTS_H_

#include <cstdint>
#include <string>

#include "settings/run_config.h"
#include "platform/types.h"
#include "timestamp/measure/interval.h"
#include "timestamp/measure/measurement.h"
#include "timestamp/measure/statistics.h"

namespace stampcast {

// "interval F-T s: N received, N invalid\n" and a line a stream heard in
// it; or the same as an interval record.
void appendIntervalText(std::string& out, const ReceiverStatistics& stats,
                        const IntervalSpan& span);
void appendIntervalRecord(std::string& out, const ReceiverStatistics& stats,
                          const IntervalSpan& span);

// The settings record: what the heading of the sender (`sender`) or the
// receiver prints.
void appendSettingsRecord(std::string& out, const RunConfig& config,
                          bool sender);

// One sent datagram; `number` is its trailer's, or negative without one.
void appendSentRecord(std::string& out, const LocalTime& time,
                      std::int64_t seq, const SocketAddress& to,
                      const RunConfig& config, std::int64_t number);

// One received datagram, `whole` when it held a calendar time; with
// `measured`, what -m tells of it, `at` microseconds after "Receiving...".
// `clock` is the clock setting's result with -u (0: set), else null.
void appendReceivedRecord(std::string& out, const LocalTime& time, bool whole,
                          std::int64_t seq, const MeasuredFields* measured,
                          std::int64_t at, const int* clock);

// The summary record, with the status the run ends with.
void appendSummaryRecord(std::string& out, const ReceiverStatistics& stats,
                         const RunConfig& config);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_REPORT_REPORTS_H_
