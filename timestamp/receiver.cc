// Placeholder: replaced by the receiver.
#include "timestamp/receiver.h"
namespace stampcast {
int runReceiver(const RunConfig&, Platform&, SocketHandle) { return -1; }
}  // namespace stampcast
