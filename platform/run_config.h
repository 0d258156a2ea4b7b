// The run's settings: built once by the command line, read by every phase
// after it. A leaf: it needs nothing of the project, so the command line,
// the marking and the timestamp exchange can all include it.
#ifndef STAMPCAST_PLATFORM_RUN_CONFIG_H_
#define STAMPCAST_PLATFORM_RUN_CONFIG_H_

namespace stampcast {

enum class RunMode { None, Sender, Receiver };

struct RunConfig {
  const char* destAddress = "239.1.1.1";  // the text as typed; never copied
  int destPort = 1234;
  int dscpValue = 32;
  int ttlValue = 1;
  int waitValue = 500;  // milliseconds
  RunMode mode = RunMode::None;
  bool update = false;
  bool verbose = true;
};

}  // namespace stampcast

#endif  // STAMPCAST_PLATFORM_RUN_CONFIG_H_
