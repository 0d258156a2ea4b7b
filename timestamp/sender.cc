// Placeholder: replaced by the sender.
#include "timestamp/sender.h"
namespace stampcast {
int runSender(const RunConfig&, Platform&, SocketHandle) { return -1; }
}  // namespace stampcast
