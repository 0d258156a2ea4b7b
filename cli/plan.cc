#include "cli/plan.h"

#include <cstring>
#include <utility>

#include "cli/interface_choice.h"
#include "timestamp/wire/key_file.h"

namespace stampcast {
namespace {

// False for an IPv6 text that does not parse; an IPv4 text always reads.
bool readGroup(const RunConfig& config, SocketAddress* group) {
  const std::uint16_t port =
      hostToNetwork16(static_cast<std::uint16_t>(config.destPort));
  if (std::strchr(config.destAddress, ':') == nullptr) {
    *group = ipv4SocketAddress(inetAddr(config.destAddress), port);
    return true;
  }
  *group = SocketAddress{};
  group->family = kAddressFamilyInet6;
  group->port = port;
  return inetPton6(config.destAddress, group->address);
}

}  // namespace

bool resolvePlan(const RunConfig& config, Platform& platform, Report& report,
                 RunPlan* plan) {
  *plan = RunPlan{};
  SocketAddress group;
  const bool read = readGroup(config, &group);
  plan->groups.assign(1, group);
  // A named interface or source that names nothing is told first.
  if (!resolveInterfaceAndSource(config, platform, report, *plan)) return false;
  if (!read) {
    printError(report, "Not an IPv6 address: %s\n", config.destAddress);
    return false;
  }
  if (config.keyPath == nullptr) return true;
  // The reason names the file and never a key's bytes.
  KeyFile keys = loadKeyFile(config.keyPath);
  if (!keys.error.empty()) {
    printError(report, "Key file %s: %s\n", config.keyPath, keys.error.c_str());
    return false;
  }
  plan->keys = std::move(keys.keys);
  return true;
}

}  // namespace stampcast
