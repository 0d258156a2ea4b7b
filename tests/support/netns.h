// Throw-away network namespaces: every sender and receiver of the system
// tests runs inside one, so nothing reaches the machine's own network. Each
// is removed by its destructor, with its interfaces, also when a test fails.
#ifndef STAMPCAST_TESTS_SUPPORT_NETNS_H_
#define STAMPCAST_TESTS_SUPPORT_NETNS_H_

#include <string>
#include <utility>
#include <vector>

#include "tests/support/process.h"

namespace stampcast {
namespace systest {

// Removes the namespaces stampcast-<test>-<pid>-<n> whose process is gone
// (left by a killed run); live runs' and other names stay.
void sweepStaleNamespaces();

class Netns {
 public:
  // `ip netns add stampcast-<test>-<pid>-<n>`. With loopbackMulticast, lo
  // is up, carries multicast and holds 224.0.0.0/4 dev lo src 127.0.0.1:
  // one namespace is then a whole multicast network.
  explicit Netns(const std::string& test, bool loopbackMulticast = true);
  ~Netns();
  Netns(const Netns&) = delete;
  Netns& operator=(const Netns&) = delete;

  const std::string& name() const { return name_; }
  bool ready() const { return ready_; }
  // `ip -n <name> args...`; true on status 0.
  bool ip(const std::vector<std::string>& args) const;
  Command command(std::vector<std::string> argv, Milliseconds timeout = Milliseconds(5000)) const;
  // A veth pair from here to `other`, both ends up with their addresses
  // ("10.61.0.1/32": a /32 adds no route). Gives the names of the ends here
  // and there; empty on failure. It goes with either namespace.
  std::pair<std::string, std::string> veth(const Netns& other, const std::string& here,
                                           const std::string& there) const;

 private:
  std::string name_;
  bool ready_ = false;
};

// argv inside `unshare -r -n` with the multicast loopback of Netns: root of
// its own user namespace only, a process there cannot set the clock.
std::vector<std::string> inUserNamespace(const std::vector<std::string>& argv);

// The network namespace of a running process, for Command::netns.
inline std::string netnsOf(pid_t pid) { return "/proc/" + std::to_string(pid) + "/ns/net"; }

}  // namespace systest
}  // namespace stampcast

#endif  // STAMPCAST_TESTS_SUPPORT_NETNS_H_
