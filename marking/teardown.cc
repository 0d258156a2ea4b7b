#include "marking/marking.h"
#include "marking/messages.h"
#include "timestamp/report/report.h"

namespace stampcast {
namespace {

// One removal: the call, the handle it takes, the explanation of its codes
// (when it has any) and the line every failure ends with.
struct Removal {
  std::uint32_t (TrafficControl::*remove)(TcHandle);
  TcHandle MarkingHandles::*handle;
  const char* (*explain)(std::uint32_t);
  const char* failure;
};

// In the reverse order of setup: filter, flow, interface, client.
const Removal kRemovals[] = {
    {&TrafficControl::deleteFilter, &MarkingHandles::filterHandle, nullptr,
     "Error deleting filter\n"},
    {&TrafficControl::deleteFlow, &MarkingHandles::flowHandle, nullptr,
     "Error deleting flow\n"},
    {&TrafficControl::closeInterface, &MarkingHandles::ifcHandle,
     closeInterfaceMessage, "Error closing interface\n"},
    {&TrafficControl::deregisterClient, &MarkingHandles::clientHandle,
     deregisterClientMessage, "Error degresitering client\n"},
};

}  // namespace

// Each removal runs whatever the earlier ones returned, so that one stale
// handle does not leave the rest registered.
void teardownMarking(Platform& platform, Report& report,
                     const MarkingHandles& handles) {
  TrafficControl& tc = platform.trafficControl();
  for (const Removal& removal : kRemovals) {
    const std::uint32_t result = (tc.*removal.remove)(handles.*removal.handle);
    if (result == tc::kSuccess) continue;
    const char* message = removal.explain ? removal.explain(result) : nullptr;
    if (message != nullptr) print(report, "%s", message);
    print(report, "%s", removal.failure);
  }
}

}  // namespace stampcast
