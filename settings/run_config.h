// The run's settings as typed: built once by the command line, read by
// every phase after it; what they name is resolved into run_plan.h. A
// leaf: it needs nothing of the project, so the command line, the marking
// and the timestamp exchange can all include it.
#ifndef STAMPCAST_SETTINGS_RUN_CONFIG_H_
#define STAMPCAST_SETTINGS_RUN_CONFIG_H_

#include <cstdint>

namespace stampcast {

enum class RunMode { None, Sender, Receiver };

// The status of a run that ends before its work (usage, version, an unknown
// option) or that a failure ended, after its report: 255 to the shell.
inline constexpr int kFailedRun = -1;

struct RunConfig {
  const char* destAddress = "239.1.1.1";  // as typed, for what prints it
  int destPort = 1234;
  int dscpValue = 32;
  int ttlValue = 1;
  int waitValue = 500;  // milliseconds
  RunMode mode = RunMode::None;
  bool update = false;
  bool verbose = true;
  // Beyond the classic options: the receiver reports what arrived (-m), the
  // DS code point it expects (-e), and either role ends after a count (-c).
  bool measure = false;
  bool expectDscp = false;
  int expectedDscp = 0;
  int count = 0;  // 0 or less: no limit
  // -i and the receiver's -f as typed (null without them); what they name
  // is resolved into the run's plan (run_plan.h).
  const char* interfaceText = nullptr;
  const char* sourceText = nullptr;
  // Watching a path: interval reports every so many seconds (-a, 0 or
  // less: none) and JSON Lines instead of text (-o json). A receiver's -q
  // (verbose false) leaves out the line a datagram.
  int intervalSeconds = 0;
  bool json = false;
  // A receiver's metrics file (-x), as typed; null without one.
  const char* metricsPath = nullptr;
  // The sender's load (-b, -z, -n), as typed (null without them) and as
  // read: any of them makes a measuring sender send trailer version 2. The
  // period between bursts (0 without -b: -w paces the bursts), the datagram's
  // UDP payload in bytes (0: the classic size) and the datagrams a burst.
  const char* rateText = nullptr;
  const char* sizeText = nullptr;
  const char* burstText = nullptr;
  bool load = false;
  std::uint64_t periodNanoseconds = 0;
  std::uint32_t datagramSize = 0;
  int burst = 1;
  // Trust: a shared key file (-k, either role) and a receiver's time
  // service socket (-y), as typed; null without them.
  const char* keyPath = nullptr;
  const char* sampleSocket = nullptr;
};

}  // namespace stampcast

#endif  // STAMPCAST_SETTINGS_RUN_CONFIG_H_
