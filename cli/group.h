// The group and port that -d and -p name, as a socket address of either
// family: a text with a ':' is an IPv6 group, any other text an IPv4 one,
// read by inet_addr exactly as the classic program reads it.
#ifndef STAMPCAST_CLI_GROUP_H_
#define STAMPCAST_CLI_GROUP_H_

#include "settings/run_config.h"
#include "platform/platform.h"

namespace stampcast {

// False for an IPv6 text that does not parse; an IPv4 text always reads.
bool readGroup(const RunConfig& config, SocketAddress* group);

// The group of a run whose text readGroup took.
SocketAddress groupAddress(const RunConfig& config);

}  // namespace stampcast

#endif  // STAMPCAST_CLI_GROUP_H_
