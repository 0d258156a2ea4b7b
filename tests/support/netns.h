// Throw-away network namespaces for the system tests: every sender and
// receiver runs inside one, so nothing reaches the machine's own network.
// Each is removed by its destructor, also when an assertion fails.
#ifndef STAMPCAST_TESTS_SUPPORT_NETNS_H_
#define STAMPCAST_TESTS_SUPPORT_NETNS_H_

#include <string>
#include <vector>

#include "tests/support/process.h"

namespace stampcast {
namespace systest {

// Removes the namespaces stampcast-<test>-<pid>-<n> whose process is gone
// (left behind by a killed run). Others' live namespaces are kept.
void sweepStaleNamespaces();

// `ip netns add stampcast-<test>-<pid>-<n>`. With loopbackMulticast the
// loopback is up, carries multicast and holds the route
// 224.0.0.0/4 dev lo src 127.0.0.1, so that one namespace is a whole
// multicast network of its own.
class Netns {
 public:
  explicit Netns(const std::string& test, bool loopbackMulticast = true);
  ~Netns();
  Netns(const Netns&) = delete;
  Netns& operator=(const Netns&) = delete;

  const std::string& name() const { return name_; }
  // Every setup step succeeded; tests ASSERT_TRUE on it.
  bool ready() const { return ready_; }
  // Runs `ip -n <name> args...`; true on status 0.
  bool ip(const std::vector<std::string>& args) const;
  // A command that runs argv inside this namespace.
  Command command(std::vector<std::string> argv,
                  Milliseconds timeout = Milliseconds(5000)) const;
  // argv prefixed with `ip netns exec <name>`, for callers that need a
  // plain argv.
  std::vector<std::string> exec(const std::vector<std::string>& argv) const;

 private:
  std::string name_;
  bool ready_ = false;
};

// A veth pair from namespace a to namespace b, both ends up. Each address
// is given with its prefix ("10.61.0.1/24"); a /32 address adds no route,
// so the caller decides every route. Removed by the destructor (removing
// either namespace removes it as well).
class Veth {
 public:
  Veth(const Netns& a, const std::string& addressA, const Netns& b,
       const std::string& addressB);
  ~Veth();
  Veth(const Veth&) = delete;
  Veth& operator=(const Veth&) = delete;

  const std::string& nameA() const { return nameA_; }  // the end in a
  const std::string& nameB() const { return nameB_; }  // the end in b
  bool ready() const { return ready_; }

 private:
  const Netns& a_;
  std::string nameA_, nameB_;
  bool ready_ = false;
};

// argv run inside `unshare -r -n`: a new user and network namespace with
// the multicast loopback set up as in Netns. There the process is root of
// its own user namespace only, so it cannot set the machine's clock.
std::vector<std::string> inUserNamespace(const std::vector<std::string>& argv);

// The network namespace of a running process, for Command::netns (another
// program can join a namespace made by inUserNamespace this way).
std::string netnsOf(pid_t pid);

}  // namespace systest
}  // namespace stampcast

#endif  // STAMPCAST_TESTS_SUPPORT_NETNS_H_
