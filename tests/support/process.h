// Runs the programs under test: argv without a shell, output captured, a
// hard time limit, optionally inside a network namespace, in the foreground
// or in the background. The whole process group goes when a run ends.
#ifndef STAMPCAST_TESTS_SUPPORT_PROCESS_H_
#define STAMPCAST_TESTS_SUPPORT_PROCESS_H_

#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace stampcast {
namespace systest {

using Milliseconds = std::chrono::milliseconds;

// The argv of the Linux binary, or of the test peer (tests/tools/peer.cc),
// with these words.
inline std::vector<std::string> stampcast(std::vector<std::string> words) {
  words.insert(words.begin(), STAMPCAST_BINARY);
  return words;
}
inline std::vector<std::string> peer(std::vector<std::string> words) {
  words.insert(words.begin(), STAMPCAST_TOOLS_DIR "/peer");
  return words;
}

struct Command {
  Command(std::vector<std::string> argv, std::string netns = "",
          Milliseconds timeout = Milliseconds(5000))
      : argv(std::move(argv)), netns(std::move(netns)), timeout(timeout) {}

  std::vector<std::string> argv;
  // Entered before exec: a name made by `ip netns add`, or a path such as
  // /proc/<pid>/ns/net. Empty: the test's own namespace.
  std::string netns;
  // Then SIGTERM, and SIGKILL half a second later.
  Milliseconds timeout;
  // When >= 0: the descriptor limit for the program's first socket() call
  // alone. Set before exec, it would stop the loader, which needs a free
  // descriptor for each library.
  int limitDescriptorsAtFirstSocket = -1;
};

struct Outcome {
  int status = -1;        // exit status; -1 when a signal ended it
  int signal = 0;         // that signal
  bool timedOut = false;  // killed at its time limit
  std::string output;     // standard output
  std::string errors;     // standard error
};

Outcome run(const Command& command);

// A command running until stop(), wait() or the destructor.
class Background {
 public:
  explicit Background(const Command& command);
  ~Background();
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;

  pid_t pid() const { return pid_; }
  std::string output() const;
  // False when the limit passes or the process ends before `text` appears
  // `count` times in its output.
  bool waitForOutput(const std::string& text, Milliseconds limit, int count = 1) const;
  // Sends `signal`; after a second SIGTERM, then SIGKILL.
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

int countOf(const std::string& haystack, const std::string& text);

// The lines of `text` that begin with `prefix`, without their newline.
std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix);

}  // namespace systest
}  // namespace stampcast

#endif  // STAMPCAST_TESTS_SUPPORT_PROCESS_H_
