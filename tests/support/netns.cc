#include "tests/support/netns.h"

#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <regex>
#include <sstream>

namespace stampcast {
namespace systest {
namespace {

bool succeeds(const std::vector<std::string>& argv) { return run({argv}).status == 0; }

int nextNumber() {
  static int number = 0;
  return number++;
}

const char kSetUpLoopback[] =
    "ip link set lo up && ip link set lo multicast on && "
    "ip route add 224.0.0.0/4 dev lo src 127.0.0.1";

}  // namespace

void sweepStaleNamespaces() {
  static const std::regex ours(R"(stampcast-[a-z0-9]+-([0-9]+)-[0-9]+)");
  std::istringstream lines(run({{"ip", "netns", "list"}}).output);
  std::smatch match;
  for (std::string name; lines >> name;) {
    if (!std::regex_match(name, match, ours)) continue;
    const pid_t pid = pid_t(std::stol(match[1]));
    if (::kill(pid, 0) != 0 && errno == ESRCH) succeeds({"ip", "netns", "delete", name});
  }
}

Netns::Netns(const std::string& test, bool loopbackMulticast) {
  static const bool swept = (sweepStaleNamespaces(), true);
  (void)swept;
  std::string tidy;
  for (char c : test) {
    if (std::isalnum(static_cast<unsigned char>(c))) tidy += char(std::tolower(c));
  }
  name_ = "stampcast-" + tidy.substr(0, 24) + "-" + std::to_string(::getpid()) + "-" +
          std::to_string(nextNumber());
  if (tidy.empty() || !succeeds({"ip", "netns", "add", name_})) {
    name_.clear();  // nothing to remove
    return;
  }
  ready_ = !loopbackMulticast ||
           succeeds({"ip", "netns", "exec", name_, "sh", "-c", kSetUpLoopback});
}

Netns::~Netns() {
  if (name_.empty()) return;
  // What still runs inside goes first, or the namespace outlives its name.
  std::istringstream pids(run({{"ip", "netns", "pids", name_}}).output);
  for (long pid; pids >> pid;) ::kill(pid_t(pid), SIGKILL);
  succeeds({"ip", "netns", "delete", name_});
}

bool Netns::ip(const std::vector<std::string>& args) const {
  std::vector<std::string> argv = {"ip", "-n", name_};
  argv.insert(argv.end(), args.begin(), args.end());
  return !name_.empty() && succeeds(argv);
}

Command Netns::command(std::vector<std::string> argv, Milliseconds timeout) const {
  // Without a namespace, a path that cannot be entered: the run fails
  // rather than reach the machine's own network.
  return {std::move(argv), name_.empty() ? "/nonexistent/netns" : name_, timeout};
}

std::pair<std::string, std::string> Netns::veth(const Netns& other, const std::string& here,
                                                const std::string& there) const {
  // Interface names hold 15 characters.
  const std::string stem = "sc" + std::to_string(::getpid()) + "v" + std::to_string(nextNumber());
  const std::string a = stem + "a", b = stem + "b";
  const bool made = ready_ && other.ready_ &&
                    succeeds({"ip", "link", "add", a, "netns", name_, "type", "veth", "peer",
                              "name", b, "netns", other.name_}) &&
                    ip({"addr", "add", here, "dev", a}) && ip({"link", "set", a, "up"}) &&
                    other.ip({"addr", "add", there, "dev", b}) &&
                    other.ip({"link", "set", b, "up"});
  return made ? std::make_pair(a, b) : std::make_pair(std::string(), std::string());
}

std::vector<std::string> inUserNamespace(const std::vector<std::string>& argv) {
  // The program's words reach it as positional parameters, never parsed by
  // the shell.
  std::vector<std::string> result = {"unshare", "-r", "-n", "sh", "-c",
                                     std::string(kSetUpLoopback) + " && exec \"$@\"", "sh"};
  result.insert(result.end(), argv.begin(), argv.end());
  return result;
}

}  // namespace systest
}  // namespace stampcast
