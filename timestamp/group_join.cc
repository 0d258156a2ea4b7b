#include "timestamp/group_join.h"

#include <string>

#include "timestamp/text.h"

namespace stampcast {

// The join the run asked for: on the interface it names (-i), from the one
// source it names (-f), or as the classic receiver joins, on the system's
// choice of interface from any source.
int joinAsConfigured(const RunConfig& config, Platform& platform,
                     SocketHandle socket,
                     const MulticastMembership& membership) {
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
  if (config.interfaceIndex == 0 && config.sourceAddress == 0) return;
  std::string line = "Interface   = ";
  if (config.interfaceIndex != 0) {
    appendFormat(line, "%s (index %u)", config.interfaceText,
                 config.interfaceIndex);
  } else {
    line += "default";
  }
  line += ", source = ";
  line += config.sourceAddress != 0 ? config.sourceText : "any";
  print(platform, "%s\n", line.c_str());
}

}  // namespace stampcast
