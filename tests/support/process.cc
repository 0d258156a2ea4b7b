#include "tests/support/process.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace stampcast {
namespace systest {
namespace {

using Clock = std::chrono::steady_clock;

// An unlinked temporary file: the child writes to it, the parent reads it
// at any time without a pipe that could fill up and stall the child.
int captureFile() {
  char path[] = "/tmp/stampcast-systest-XXXXXX";
  const int fd = ::mkstemp(path);
  if (fd >= 0) ::unlink(path);
  return fd;
}

std::string readAll(int fd) {
  std::string text;
  if (fd < 0) return text;
  char chunk[4096];
  off_t offset = 0;
  for (;;) {
    const ssize_t n = ::pread(fd, chunk, sizeof chunk, offset);
    if (n <= 0) break;
    text.append(chunk, static_cast<std::size_t>(n));
    offset += n;
  }
  return text;
}

void fail(const char* what) {
  const int error = errno;
  char message[160];
  const int length = std::snprintf(message, sizeof message,
                                   "systest child: %s: %s\n", what,
                                   std::strerror(error));
  if (length > 0) (void)!::write(STDERR_FILENO, message, length);
  ::_exit(127);
}

// In the forked child: own process group, die with the test, descriptors,
// namespace, a last-resort alarm, then exec.
[[noreturn]] void startChild(const Command& command, char* const* argv,
                             int outputFd, int errorFd, pid_t parent) {
  ::setpgid(0, 0);
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(127);
  const int nullFd = ::open("/dev/null", O_RDONLY);
  if (nullFd < 0 || ::dup2(nullFd, STDIN_FILENO) < 0 ||
      ::dup2(outputFd, STDOUT_FILENO) < 0 ||
      ::dup2(errorFd, STDERR_FILENO) < 0) {
    fail("redirect");
  }
  // Nothing but 0..2 may stay open: the descriptor limit counts on it.
  ::close_range(3, ~0U, 0);
  if (!command.netns.empty()) {
    const std::string path = command.netns[0] == '/'
                                 ? command.netns
                                 : "/run/netns/" + command.netns;
    const int nsFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (nsFd < 0 || ::setns(nsFd, CLONE_NEWNET) != 0) fail(path.c_str());
    ::close(nsFd);
  }
  // Survives exec: ends the program even if the test itself is killed
  // before it can stop it.
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(command.timeout);
  ::alarm(static_cast<unsigned>(seconds.count()) + 3);
  if (command.limitDescriptorsAtFirstSocket >= 0 &&
      ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) {
    fail("ptrace");
  }
  ::execvp(argv[0], argv);
  fail(argv[0]);
  ::_exit(127);
}

// Follows the traced child from its exec to its first socket() call, lowers
// its descriptor limit for that call alone and lets it go on untraced.
// Returns false with *status filled when the child ended before that.
bool limitAtFirstSocket(pid_t pid, int limit, int* status) {
  if (::waitpid(pid, status, 0) != pid || !WIFSTOPPED(*status)) return false;
  ::ptrace(PTRACE_SETOPTIONS, pid, nullptr,
           PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
  int pending = 0;
  for (;;) {
    if (::ptrace(PTRACE_SYSCALL, pid, nullptr, pending) != 0) return true;
    pending = 0;
    if (::waitpid(pid, status, 0) != pid) return true;
    if (!WIFSTOPPED(*status)) return false;
    if (WSTOPSIG(*status) != (SIGTRAP | 0x80)) {
      pending = WSTOPSIG(*status);  // an ordinary signal: deliver it
      continue;
    }
    __ptrace_syscall_info info{};
    if (::ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof info, &info) <= 0) {
      continue;
    }
    if (info.op == PTRACE_SYSCALL_INFO_ENTRY && info.entry.nr == SYS_socket) {
      // The soft limit alone: raising it back again needs no privilege.
      rlimit original{};
      if (::prlimit(pid, RLIMIT_NOFILE, nullptr, &original) != 0) break;
      const rlimit lowered{static_cast<rlim_t>(limit), original.rlim_max};
      if (::prlimit(pid, RLIMIT_NOFILE, &lowered, nullptr) != 0) break;
      // Only this one call meets the low limit: what runs at the end of
      // the process (a sanitizer's report, say) gets its descriptors back.
      if (::ptrace(PTRACE_SYSCALL, pid, nullptr, 0) != 0 ||
          ::waitpid(pid, status, 0) != pid) {
        return true;
      }
      if (!WIFSTOPPED(*status)) return false;
      if (WSTOPSIG(*status) != (SIGTRAP | 0x80)) pending = WSTOPSIG(*status);
      ::prlimit(pid, RLIMIT_NOFILE, &original, nullptr);
      break;
    }
  }
  ::ptrace(PTRACE_DETACH, pid, nullptr, pending);
  return true;
}

void settle(int status, Outcome* outcome) {
  if (WIFEXITED(status)) {
    outcome->status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    outcome->status = -1;
    outcome->signal = WTERMSIG(status);
  }
}

}  // namespace

Background::Background(const Command& command) {
  if (command.argv.empty()) return;
  std::vector<char*> argv;
  for (const std::string& word : command.argv) {
    argv.push_back(const_cast<char*>(word.c_str()));
  }
  argv.push_back(nullptr);
  outputFd_ = captureFile();
  errorFd_ = captureFile();
  if (outputFd_ < 0 || errorFd_ < 0) return;
  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ == 0) startChild(command, argv.data(), outputFd_, errorFd_, parent);
  if (pid_ < 0) return;
  ::setpgid(pid_, pid_);  // also here, so that a signal at once reaches it
  outcome_.started = true;
  if (command.limitDescriptorsAtFirstSocket >= 0) {
    int status = 0;
    if (!limitAtFirstSocket(pid_, command.limitDescriptorsAtFirstSocket,
                            &status)) {
      ended_ = true;
      settle(status, &outcome_);
    }
  }
}

Background::~Background() {
  if (pid_ > 0 && !ended_) finish(Milliseconds(0), SIGKILL);
  if (outputFd_ >= 0) ::close(outputFd_);
  if (errorFd_ >= 0) ::close(errorFd_);
}

std::string Background::output() const { return readAll(outputFd_); }

bool Background::waitForOutput(const std::string& text, Milliseconds limit,
                               int count) const {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    if (countOf(output(), text) >= count) return true;
    if (ended_ || Clock::now() >= deadline) return false;
    siginfo_t info{};
    if (pid_ > 0 &&
        ::waitid(P_PID, static_cast<id_t>(pid_), &info,
                 WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == pid_) {
      // It ended: one last look at what it wrote.
      return countOf(output(), text) >= count;
    }
    std::this_thread::sleep_for(Milliseconds(10));
  }
}

Outcome Background::stop(int signal) {
  return finish(Milliseconds(1000), signal);
}

Outcome Background::wait(Milliseconds limit) { return finish(limit, 0); }

Outcome Background::finish(Milliseconds limit, int signal) {
  if (pid_ > 0 && !ended_) {
    if (signal != 0) ::kill(-pid_, signal);
    const auto deadline = Clock::now() + limit;
    int status = 0;
    pid_t reaped = 0;
    while ((reaped = ::waitpid(pid_, &status, WNOHANG)) == 0 &&
           Clock::now() < deadline) {
      std::this_thread::sleep_for(Milliseconds(5));
    }
    if (reaped == 0) {
      outcome_.timedOut = signal != SIGKILL;
      ::kill(-pid_, SIGTERM);
      const auto grace = Clock::now() + Milliseconds(500);
      while ((reaped = ::waitpid(pid_, &status, WNOHANG)) == 0 &&
             Clock::now() < grace) {
        std::this_thread::sleep_for(Milliseconds(5));
      }
      if (reaped == 0) {
        ::kill(-pid_, SIGKILL);
        reaped = ::waitpid(pid_, &status, 0);
      }
    }
    if (reaped == pid_) settle(status, &outcome_);
    ::kill(-pid_, SIGKILL);  // whatever it left behind in its group
    ended_ = true;
  }
  outcome_.output = readAll(outputFd_);
  outcome_.errors = readAll(errorFd_);
  return outcome_;
}

Outcome run(const Command& command) {
  Background process(command);
  return process.wait(command.timeout);
}

int countOf(const std::string& haystack, const std::string& text) {
  if (text.empty()) return 0;
  int count = 0;
  for (std::size_t at = haystack.find(text); at != std::string::npos;
       at = haystack.find(text, at + text.size())) {
    ++count;
  }
  return count;
}

std::vector<std::string> linesStartingWith(const std::string& text,
                                           const std::string& prefix) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

}  // namespace systest
}  // namespace stampcast
