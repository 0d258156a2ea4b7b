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

#include <algorithm>
#include <cstdlib>
#include <thread>

namespace stampcast {
namespace systest {
namespace {

using Clock = std::chrono::steady_clock;

// An unlinked file rather than a pipe: a child that writes much never
// stalls, and the parent reads it at any time.
int captureFile() {
  char path[] = "/tmp/stampcast-systest-XXXXXX";
  const int fd = ::mkstemp(path);
  if (fd >= 0) ::unlink(path);
  return fd;
}

std::string readAll(int fd) {
  std::string text;
  char chunk[4096];
  ssize_t n;
  while (fd >= 0 && (n = ::pread(fd, chunk, sizeof chunk, off_t(text.size()))) > 0) {
    text.append(chunk, std::size_t(n));
  }
  return text;
}

// In the forked child: its own process group, death with the test, then
// the namespace and a last-resort alarm that survives exec.
[[noreturn]] void startChild(const Command& command, char* const* argv, int outputFd,
                             int errorFd, pid_t parent) {
  ::setpgid(0, 0);
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(127);
  const int nullFd = ::open("/dev/null", O_RDONLY);
  if (nullFd < 0 || ::dup2(nullFd, 0) < 0 || ::dup2(outputFd, 1) < 0 || ::dup2(errorFd, 2) < 0) {
    ::_exit(127);
  }
  ::close_range(3, ~0U, 0);  // the descriptor limit counts on 0..2 alone
  if (!command.netns.empty()) {
    const std::string path =
        command.netns[0] == '/' ? command.netns : "/run/netns/" + command.netns;
    const int nsFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (nsFd < 0 || ::setns(nsFd, CLONE_NEWNET) != 0) ::_exit(126);
  }
  ::alarm(unsigned(command.timeout.count() / 1000) + 3);
  if (command.limitDescriptorsAtFirstSocket >= 0 &&
      ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) {
    ::_exit(127);
  }
  ::execvp(argv[0], argv);
  ::_exit(127);
}

// Follows the traced child from its exec to its first socket() call, lowers
// its soft descriptor limit for that call alone (raising it back needs no
// privilege, and what runs at exit, such as a sanitizer's report, needs
// descriptors) and lets it go on untraced. False, with *status, when the
// child ended before.
bool limitAtFirstSocket(pid_t pid, int limit, int* status) {
  auto step = [&](int signal) {
    return ::ptrace(PTRACE_SYSCALL, pid, nullptr, signal) == 0 &&
           ::waitpid(pid, status, 0) == pid && WIFSTOPPED(*status);
  };
  if (::waitpid(pid, status, 0) != pid || !WIFSTOPPED(*status)) return false;
  ::ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
  int pending = 0;  // an ordinary signal, delivered on the next step
  while (step(pending)) {
    pending = WSTOPSIG(*status) == (SIGTRAP | 0x80) ? 0 : WSTOPSIG(*status);
    __ptrace_syscall_info info{};
    if (pending != 0 || ::ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof info, &info) <= 0 ||
        info.op != PTRACE_SYSCALL_INFO_ENTRY || info.entry.nr != SYS_socket) {
      continue;
    }
    rlimit original{};
    ::prlimit(pid, RLIMIT_NOFILE, nullptr, &original);
    const rlimit lowered{rlim_t(limit), original.rlim_max};
    ::prlimit(pid, RLIMIT_NOFILE, &lowered, nullptr);
    if (!step(0)) break;
    pending = WSTOPSIG(*status) == (SIGTRAP | 0x80) ? 0 : WSTOPSIG(*status);
    ::prlimit(pid, RLIMIT_NOFILE, &original, nullptr);
    ::ptrace(PTRACE_DETACH, pid, nullptr, pending);
    return true;
  }
  return !WIFEXITED(*status) && !WIFSIGNALED(*status);
}

void settle(int status, Outcome* outcome) {
  outcome->status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  outcome->signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

}  // namespace

Background::Background(const Command& command) {
  std::vector<char*> argv;
  for (const std::string& word : command.argv) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  outputFd_ = captureFile();
  errorFd_ = captureFile();
  if (argv.size() < 2 || outputFd_ < 0 || errorFd_ < 0) return;
  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ == 0) startChild(command, argv.data(), outputFd_, errorFd_, parent);
  if (pid_ < 0) return;
  ::setpgid(pid_, pid_);  // here too, so that a signal at once reaches the group
  int status = 0;
  if (command.limitDescriptorsAtFirstSocket >= 0 &&
      !limitAtFirstSocket(pid_, command.limitDescriptorsAtFirstSocket, &status)) {
    ended_ = true;
    settle(status, &outcome_);
  }
}

Background::~Background() {
  if (!ended_) finish(Milliseconds(0), SIGKILL);
  if (outputFd_ >= 0) ::close(outputFd_);
  if (errorFd_ >= 0) ::close(errorFd_);
}

std::string Background::output() const { return readAll(outputFd_); }

bool Background::waitForOutput(const std::string& text, Milliseconds limit, int count) const {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    siginfo_t info{};
    const bool gone = pid_ <= 0 || ended_ ||
                      (::waitid(P_PID, id_t(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                       info.si_pid == pid_);
    // Looked at after the check for its end, so that its last words count.
    if (countOf(output(), text) >= count) return true;
    if (gone || Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(Milliseconds(10));
  }
}

Outcome Background::stop(int signal) { return finish(Milliseconds(1000), signal); }

Outcome Background::wait(Milliseconds limit) { return finish(limit, 0); }

Outcome Background::finish(Milliseconds limit, int signal) {
  auto reap = [&](Milliseconds within) {
    const auto deadline = Clock::now() + within;
    int status = 0;
    pid_t reaped;
    while ((reaped = ::waitpid(pid_, &status, WNOHANG)) == 0 && Clock::now() < deadline) {
      std::this_thread::sleep_for(Milliseconds(5));
    }
    if (reaped == pid_) settle(status, &outcome_);
    return reaped != 0;
  };
  if (pid_ > 0 && !ended_) {
    if (signal != 0) ::kill(-pid_, signal);
    if (!reap(limit)) {
      outcome_.timedOut = signal != SIGKILL;
      ::kill(-pid_, SIGTERM);
      if (!reap(Milliseconds(500))) {
        ::kill(-pid_, SIGKILL);
        reap(Milliseconds(60000));
      }
    }
    ::kill(-pid_, SIGKILL);  // whatever it left behind in its group
    ended_ = true;
  }
  outcome_.output = readAll(outputFd_);
  outcome_.errors = readAll(errorFd_);
  return outcome_;
}

Outcome run(const Command& command) { return Background(command).wait(command.timeout); }

int countOf(const std::string& haystack, const std::string& text) {
  int count = 0;
  for (std::size_t at = haystack.find(text); !text.empty() && at != std::string::npos;
       at = haystack.find(text, at + text.size())) {
    ++count;
  }
  return count;
}

std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix) {
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
    end = std::min(text.find('\n', start), text.size());
    if (text.compare(start, prefix.size(), prefix) == 0) {
      lines.push_back(text.substr(start, end - start));
    }
  }
  return lines;
}

}  // namespace systest
}  // namespace stampcast
