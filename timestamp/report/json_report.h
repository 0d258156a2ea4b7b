// The report as JSON Lines (-o json): one record an event, each written
// field by field by one function here.
#ifndef STAMPCAST_TIMESTAMP_REPORT_JSON_REPORT_H_
#define STAMPCAST_TIMESTAMP_REPORT_JSON_REPORT_H_

#include <string>

#include "timestamp/report/report.h"

namespace stampcast {

class JsonReport final : public Report {
 public:
  using Report::Report;

  void message(const std::string& text) override;
  void error(const std::string& text) override;
  void settings(bool sender) override;
  bool sent(const LocalTime& time, std::int64_t seq, const SocketAddress& to,
            std::int64_t number) override;
  void received(const ReceivedDatagram& datagram) override;
  void interval(const ReceiverStatistics& stats, const IntervalSpan& span) override;
  void summary(const ReceiverStatistics& stats) override;
  void senderSummary(const SenderTotals& totals, const SocketAddress& to) override;
  bool streamPercentiles() const override { return true; }

 private:
  std::string record_;  // a sent datagram's, kept for the next
};

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_REPORT_JSON_REPORT_H_
