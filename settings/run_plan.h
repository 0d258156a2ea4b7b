// What the run uses: the command line's typed values (run_config.h),
// resolved once by the command line before anything is set up. Every phase
// after it reads the plan and never the typed text again; the typed text
// stays for what is printed as typed. A leaf, over the socket address only.
#ifndef STAMPCAST_SETTINGS_RUN_PLAN_H_
#define STAMPCAST_SETTINGS_RUN_PLAN_H_

#include <cstdint>
#include <vector>

#include "settings/shared_key.h"
#include "settings/socket_address.h"

namespace stampcast {

struct RunPlan {
  // The groups the run sends to or joins, each with the port, all of one
  // family: -d and -p give one.
  std::vector<SocketAddress> groups;
  // -i: the interface's index for the groups' family (0: the system picks)
  // and, for IPv4, the address the run goes by there (0: none).
  unsigned interfaceIndex = 0;
  std::uint32_t interfaceAddress = 0;
  // -f: the one source a receiver joins from, without a port; family 0:
  // any source.
  SocketAddress source{};
  // -k: the file's usable keys, in its order; the sender signs with the
  // first, a receiver accepts any. Empty: datagrams are not authenticated.
  std::vector<Key> keys;

  // Whether the groups are IPv6 ones (a plan without groups: IPv4).
  bool ipv6() const {
    return !groups.empty() && groups.front().family == kAddressFamilyInet6;
  }
};

// The plan of a report or a phase made without one (a unit table's): no
// group, no interface and any source.
inline const RunPlan& emptyPlan() {
  static const RunPlan plan;
  return plan;
}

}  // namespace stampcast

#endif  // STAMPCAST_SETTINGS_RUN_PLAN_H_
