// The report as the console text of the classic program and its
// extensions: the headings, one line a datagram, the interval reports and
// the summary. A datagram's line costs no allocation: it is written digit
// by digit into a buffer made once, and the lines of a receive batch go
// out in one write.
#ifndef STAMPCAST_TIMESTAMP_REPORT_TEXT_REPORT_H_
#define STAMPCAST_TIMESTAMP_REPORT_TEXT_REPORT_H_

#include <string>
#include <vector>

#include "timestamp/report/figures.h"
#include "timestamp/report/report.h"
#include "timestamp/report/report_line.h"

namespace stampcast {

class TextReport final : public Report {
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
  bool flush() override;

 private:
  // The sent line's fixed tail and its buffer, made at the first send.
  std::string tail_;
  std::vector<char> line_;
  // A batch's received lines and clock reports, in datagram order; room
  // for the mark of a line without a valid tag.
  static constexpr std::size_t kTrustMarkCapacity = 18;
  char lines_[Platform::kMaxBatch *
              (kReceivedLineCapacity + kClockReportCapacity + kTrustMarkCapacity)];
  char* end_ = lines_;
};

// The summary, from its blank first line to its last newline.
std::string summaryText(const ReceiverStatistics& stats, const RunConfig& config,
                        const RunPlan& plan = emptyPlan());

// "interval F-T s: N received, N invalid\n" and a line a stream heard in it.
std::string intervalText(const ReceiverStatistics& stats, const IntervalSpan& span);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_REPORT_TEXT_REPORT_H_
