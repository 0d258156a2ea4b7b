#include "tests/support/netns.h"

#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace stampcast {
namespace systest {
namespace {

constexpr char kPrefix[] = "stampcast-";
const Milliseconds kIpLimit(5000);

bool succeeds(const std::vector<std::string>& argv) {
  Command command;
  command.argv = argv;
  command.timeout = kIpLimit;
  return run(command).status == 0;
}

// A name part made of letters and digits only.
std::string tidy(const std::string& text) {
  std::string result;
  for (char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      result += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  return result.empty() ? "test" : result.substr(0, 24);
}

int nextNumber() {
  static int number = 0;
  return number++;
}

bool processAlive(long pid) {
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// The pid in stampcast-<test>-<pid>-<n>, or -1 when the name has another
// form (then it is not ours to remove).
long pidInName(const std::string& name) {
  const std::size_t last = name.rfind('-');
  if (last == std::string::npos || last == 0) return -1;
  const std::size_t before = name.rfind('-', last - 1);
  if (before == std::string::npos || before < sizeof kPrefix - 1) return -1;
  const std::string pid = name.substr(before + 1, last - before - 1);
  const std::string n = name.substr(last + 1);
  if (pid.empty() || n.empty()) return -1;
  for (char c : pid + n) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
  }
  return std::strtol(pid.c_str(), nullptr, 10);
}

void sweepOnce() {
  static bool swept = false;
  if (!swept) sweepStaleNamespaces();
  swept = true;
}

}  // namespace

void sweepStaleNamespaces() {
  Command list;
  list.argv = {"ip", "netns", "list"};
  list.timeout = kIpLimit;
  std::istringstream lines(run(list).output);
  std::string line;
  while (std::getline(lines, line)) {
    const std::string name = line.substr(0, line.find(' '));
    if (name.rfind(kPrefix, 0) != 0) continue;
    const long pid = pidInName(name);
    if (pid <= 0 || processAlive(pid)) continue;
    succeeds({"ip", "netns", "delete", name});
  }
}

Netns::Netns(const std::string& test, bool loopbackMulticast) {
  sweepOnce();
  name_ = kPrefix + tidy(test) + "-" + std::to_string(::getpid()) + "-" +
          std::to_string(nextNumber());
  if (!succeeds({"ip", "netns", "add", name_})) {
    name_.clear();  // nothing to remove
    return;
  }
  ready_ = !loopbackMulticast ||
           (ip({"link", "set", "lo", "up"}) &&
            ip({"link", "set", "lo", "multicast", "on"}) &&
            ip({"route", "add", "224.0.0.0/4", "dev", "lo", "src",
                "127.0.0.1"}));
}

Netns::~Netns() {
  if (name_.empty()) return;
  // Whatever still runs inside goes first, or the namespace would outlive
  // its name.
  Command pids;
  pids.argv = {"ip", "netns", "pids", name_};
  pids.timeout = kIpLimit;
  std::istringstream list(run(pids).output);
  for (long pid; list >> pid;) ::kill(static_cast<pid_t>(pid), SIGKILL);
  succeeds({"ip", "netns", "delete", name_});
}

bool Netns::ip(const std::vector<std::string>& args) const {
  if (name_.empty()) return false;
  std::vector<std::string> argv = {"ip", "-n", name_};
  argv.insert(argv.end(), args.begin(), args.end());
  return succeeds(argv);
}

Command Netns::command(std::vector<std::string> argv,
                       Milliseconds timeout) const {
  Command command;
  command.argv = std::move(argv);
  command.netns = name_;
  command.timeout = timeout;
  return command;
}

std::vector<std::string> Netns::exec(
    const std::vector<std::string>& argv) const {
  std::vector<std::string> result = {"ip", "netns", "exec", name_};
  result.insert(result.end(), argv.begin(), argv.end());
  return result;
}

Veth::Veth(const Netns& a, const std::string& addressA, const Netns& b,
           const std::string& addressB)
    : a_(a) {
  // Interface names hold 15 characters: "sc" + pid + "v" + n + side.
  const std::string stem = "sc" + std::to_string(::getpid()) + "v" +
                           std::to_string(nextNumber());
  nameA_ = stem + "a";
  nameB_ = stem + "b";
  if (!a.ready() || !b.ready()) return;
  if (!succeeds({"ip", "link", "add", nameA_, "netns", a.name(), "type",
                 "veth", "peer", "name", nameB_, "netns", b.name()})) {
    nameA_.clear();
    return;
  }
  ready_ = a.ip({"addr", "add", addressA, "dev", nameA_}) &&
           b.ip({"addr", "add", addressB, "dev", nameB_}) &&
           a.ip({"link", "set", nameA_, "up"}) &&
           b.ip({"link", "set", nameB_, "up"});
}

Veth::~Veth() {
  if (!nameA_.empty()) a_.ip({"link", "delete", nameA_});
}

std::vector<std::string> inUserNamespace(
    const std::vector<std::string>& argv) {
  // The program's words reach it as the shell's positional parameters, so
  // none of them is ever parsed by the shell.
  std::vector<std::string> result = {
      "unshare", "-r", "-n", "sh", "-c",
      "ip link set lo up && ip link set lo multicast on && "
      "ip route add 224.0.0.0/4 dev lo src 127.0.0.1 && exec \"$@\"",
      "sh"};
  result.insert(result.end(), argv.begin(), argv.end());
  return result;
}

std::string netnsOf(pid_t pid) {
  return "/proc/" + std::to_string(pid) + "/ns/net";
}

}  // namespace systest
}  // namespace stampcast
