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
  GroupJoin join;
  join.group = group;
  join.interfaceIndex = config.interfaceIndex;
  if (group.family == kAddressFamilyInet6) {
    if (config.sourceIs6) {
      join.source.family = kAddressFamilyInet6;
      std::memcpy(join.source.address, config.source6,
                  sizeof join.source.address);
    }
  } else {
    join.interfaceAddress = config.interfaceAddress;
    if (config.sourceAddress != 0) {
      join.source = ipv4SocketAddress(config.sourceAddress, 0);
    }
  }
  return platform.multicast().joinGroup(socket, join);
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
