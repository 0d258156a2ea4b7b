#include "timestamp/roles/group_join.h"

#include <cstring>
#include <string>

#include "timestamp/report/text.h"

namespace stampcast {

// The join the run asked for: on the interface it names (-i), from the one
// source it names (-f), or as the classic receiver joins, on the system's
// choice of interface from any source.
int joinAsConfigured(const RunConfig& config, Platform& platform,
                     SocketHandle socket, const SocketAddress& group) {
  if (group.family == kAddressFamilyInet6) {
    SocketAddress source{};
    source.family = kAddressFamilyInet6;
    std::memcpy(source.address, config.source6, sizeof source.address);
    return platform.joinGroup6(socket, group, config.interfaceIndex,
                               config.sourceIs6 ? &source : nullptr);
  }
  const MulticastMembership membership{inetAddr(config.destAddress), 0};
  if (config.interfaceIndex == 0 && config.sourceAddress == 0) {
    return platform.joinGroup(socket, membership);
  }
  GroupJoin join;
  join.group = membership.group;
  join.interfaceIndex = config.interfaceIndex;
  join.interfaceAddress = config.interfaceAddress;
  join.source = config.sourceAddress;
  return platform.joinGroupOn(socket, join);
}

// The heading line of a measuring receiver that named its interface or its
// source: what it joined on and from, as typed.
void printJoinedInterface(const RunConfig& config, Platform& platform) {
  if (config.interfaceIndex == 0 && config.sourceText == nullptr) return;
  std::string line = "Interface   = ";
  if (config.interfaceIndex != 0) {
    appendFormat(line, "%s (index %u)", config.interfaceText,
                 config.interfaceIndex);
  } else {
    line += "default";
  }
  line += ", source = ";
  line += config.sourceText != nullptr ? config.sourceText : "any";
  print(platform, "%s\n", line.c_str());
}

}  // namespace stampcast
