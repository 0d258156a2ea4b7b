#include "marking/marking.h"
#include "platform/print.h"

namespace stampcast {

// Each removal runs whatever the earlier ones returned, so that one stale
// handle does not leave the rest registered.
void teardownMarking(Platform& platform, const MarkingHandles& handles) {
  if (platform.tcDeleteFilter(handles.filterHandle) != tc::kSuccess) {
    print(platform, "Error deleting filter\n");
  }
  if (platform.tcDeleteFlow(handles.flowHandle) != tc::kSuccess) {
    print(platform, "Error deleting flow\n");
  }

  std::uint32_t result = platform.tcCloseInterface(handles.ifcHandle);
  if (result != tc::kSuccess) {
    if (result == tc::kInvalidHandle) {
      print(platform, "The interface handle is invalid.\n");
    } else if (result == tc::kObjectsStillPresent) {
      // No newline: the general line below completes this one.
      print(platform, "Not all flows have been deleted for this interface.");
    }
    print(platform, "Error closing interface\n");
  }

  result = platform.tcDeregisterClient(handles.clientHandle);
  if (result != tc::kSuccess) {
    if (result == tc::kInvalidHandle) {
      print(platform,
            "Invalid interface handle, or the handle was set to NULL.\n");
    } else if (result == tc::kObjectsStillPresent) {
      print(platform,
            "Interfaces are still open for this client. all interfaces must "
            "be closed to deregister a client.\n");
    }
    print(platform, "Error degresitering client\n");
  }
}

}  // namespace stampcast
