// Runs programs for the system tests: argv without a shell, standard output
// and error captured, a hard time limit, optionally inside a network
// namespace, in the foreground or in the background.
#ifndef STAMPCAST_TESTS_SUPPORT_PROCESS_H_
#define STAMPCAST_TESTS_SUPPORT_PROCESS_H_

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace stampcast {
namespace systest {

using Milliseconds = std::chrono::milliseconds;

struct Command {
  std::vector<std::string> argv;
  // The network namespace to enter before exec: a name made by
  // `ip netns add`, or a path such as /proc/<pid>/ns/net. Empty: none.
  std::string netns;
  // The process is killed (SIGTERM, then SIGKILL) after this long.
  Milliseconds timeout{5000};
  // When >= 0: the descriptor limit is this value for the program's first
  // socket() call alone (the program is traced up to it). Lowered before
  // exec, it would stop the loader, which needs a free descriptor for each
  // library, before main.
  int limitDescriptorsAtFirstSocket = -1;
};

struct Outcome {
  int status = -1;       // exit status 0..255; -1 when ended by a signal
  int signal = 0;        // the signal that ended it, else 0
  bool timedOut = false; // killed because it outlived its time limit
  bool started = false;  // false when the command could not be started
  std::string output;    // standard output
  std::string errors;    // standard error
};

// Runs the command to its end or its time limit.
Outcome run(const Command& command);

// A command running in the background until stop() or the destructor.
class Background {
 public:
  explicit Background(const Command& command);
  ~Background();
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;

  pid_t pid() const { return pid_; }
  bool started() const { return pid_ > 0; }
  // Standard output so far.
  std::string output() const;
  // Waits until `text` appears `count` times in the output; false when the
  // limit passes or the process ends first.
  bool waitForOutput(const std::string& text, Milliseconds limit,
                     int count = 1) const;
  // Sends `signal`, waits up to a second, then SIGKILL; gives the outcome.
  Outcome stop(int signal = 2 /* SIGINT */);
  // Waits for the process to end by itself, killing it after `limit`.
  Outcome wait(Milliseconds limit);

 private:
  Outcome finish(Milliseconds limit, int signal);

  pid_t pid_ = -1;
  int outputFd_ = -1;
  int errorFd_ = -1;
  bool ended_ = false;
  Outcome outcome_;
};

// Counts the non-overlapping occurrences of `text` in `haystack`.
int countOf(const std::string& haystack, const std::string& text);

// The lines of `text` that begin with `prefix`, without their newline.
std::vector<std::string> linesStartingWith(const std::string& text,
                                           const std::string& prefix);

}  // namespace systest
}  // namespace stampcast

#endif  // STAMPCAST_TESTS_SUPPORT_PROCESS_H_
