// The Traffic Control API. The program's records share the API's layouts
// (checked in layouts.cc), so they pass by pointer, unchanged. traffic.dll
// is loaded when the sender first registers, from the system folder only: a
// load-time import would take a traffic.dll from the program's own folder
// first, and run it with the rights of an elevated sender.
#include "platform/windows/system_library.h"
#include "platform/windows/windows_headers.h"
#include "platform/windows/windows_platform.h"

namespace stampcast {
namespace windows {
namespace {

// The calls of traffic.dll, as the system's copy exports them.
struct TrafficApi {
  decltype(&TcRegisterClient) registerClient;
  decltype(&TcEnumerateInterfaces) enumerateInterfaces;
  decltype(&TcOpenInterfaceW) openInterface;
  decltype(&TcAddFlow) addFlow;
  decltype(&TcAddFilter) addFilter;
  decltype(&TcDeleteFilter) deleteFilter;
  decltype(&TcDeleteFlow) deleteFlow;
  decltype(&TcCloseInterface) closeInterface;
  decltype(&TcDeregisterClient) deregisterClient;
};

// Filled by the first registration. The calls after it find it whole: only
// a registered client has handles to pass.
TrafficApi api{};
bool loaded = false;

// Loads the calls once: 0, or why not (ERROR_MOD_NOT_FOUND,
// ERROR_PROC_NOT_FOUND, ...); a failed load is tried again by the next call.
DWORD loadTrafficApi() {
  if (loaded) return 0;
  HMODULE dll = loadSystemLibrary(L"traffic.dll");
  loaded = dll != nullptr &&
           findFunction(dll, "TcRegisterClient", &api.registerClient) &&
           findFunction(dll, "TcEnumerateInterfaces",
                        &api.enumerateInterfaces) &&
           findFunction(dll, "TcOpenInterfaceW", &api.openInterface) &&
           findFunction(dll, "TcAddFlow", &api.addFlow) &&
           findFunction(dll, "TcAddFilter", &api.addFilter) &&
           findFunction(dll, "TcDeleteFilter", &api.deleteFilter) &&
           findFunction(dll, "TcDeleteFlow", &api.deleteFlow) &&
           findFunction(dll, "TcCloseInterface", &api.closeInterface) &&
           findFunction(dll, "TcDeregisterClient", &api.deregisterClient);
  if (loaded) return 0;
  const DWORD error = GetLastError();
  if (dll != nullptr) FreeLibrary(dll);
  return error != 0 ? error : ERROR_PROC_NOT_FOUND;
}

HANDLE asHandle(TcHandle handle) { return reinterpret_cast<HANDLE>(handle); }

// An out handle is written by the API straight into the program's record
// (a handle and TcHandle are both pointer-sized).
PHANDLE asHandleOut(TcHandle* out) { return reinterpret_cast<PHANDLE>(out); }

// The program's handler has not the API's calling convention: Windows calls
// this one, on a thread of its own, and it hands the notification on.
TcNotifyHandler programHandler = nullptr;

VOID CALLBACK forwardNotification(HANDLE client, HANDLE ifc, ULONG event,
                                  HANDLE subCode, ULONG size, PVOID buffer) {
  programHandler(reinterpret_cast<TcHandle>(client),
                 reinterpret_cast<TcHandle>(ifc), event,
                 reinterpret_cast<TcHandle>(subCode), size, buffer);
}

template <typename Handler>
Handler asHandler(void* function) {
  return reinterpret_cast<Handler>(function);
}

class WindowsTrafficControl final : public TrafficControl {
 public:
  std::uint32_t registerClient(std::uint32_t version, TcHandle clientContext,
                               const TcClientFuncList& handlers,
                               TcHandle* clientHandle) override {
    // A missing DLL or call is told as the registration's error.
    const DWORD error = loadTrafficApi();
    if (error != 0) return error;
    // The API is not said to copy the list, so it lives as long as the
    // process.
    static TCI_CLIENT_FUNC_LIST list;
    list = TCI_CLIENT_FUNC_LIST{};
    programHandler = handlers.notifyHandler;
    list.ClNotifyHandler = programHandler ? forwardNotification : nullptr;
    list.ClAddFlowCompleteHandler = asHandler<TCI_ADD_FLOW_COMPLETE_HANDLER>(
        handlers.addFlowCompleteHandler);
    list.ClModifyFlowCompleteHandler = asHandler<TCI_MOD_FLOW_COMPLETE_HANDLER>(
        handlers.modifyFlowCompleteHandler);
    list.ClDeleteFlowCompleteHandler = asHandler<TCI_DEL_FLOW_COMPLETE_HANDLER>(
        handlers.deleteFlowCompleteHandler);
    return api.registerClient(version, asHandle(clientContext), &list,
                              asHandleOut(clientHandle));
  }

  std::uint32_t enumerateInterfaces(TcHandle clientHandle,
                                    std::uint32_t* bufferSize,
                                    void* buffer) override {
    return api.enumerateInterfaces(asHandle(clientHandle),
                                   reinterpret_cast<PULONG>(bufferSize),
                                   static_cast<PTC_IFC_DESCRIPTOR>(buffer));
  }

  std::uint32_t openInterface(const char16_t* interfaceName,
                              TcHandle clientHandle, TcHandle ifcContext,
                              TcHandle* ifcHandle) override {
    // The API takes a writable pointer but only reads the name.
    LPWSTR name =
        reinterpret_cast<LPWSTR>(const_cast<char16_t*>(interfaceName));
    return api.openInterface(name, asHandle(clientHandle),
                             asHandle(ifcContext), asHandleOut(ifcHandle));
  }

  std::uint32_t addFlow(TcHandle ifcHandle, TcHandle flowContext,
                        std::uint32_t flags, const TcGenFlowHead* flow,
                        TcHandle* flowHandle) override {
    // The objects that follow the head in memory travel with it.
    PTC_GEN_FLOW genericFlow =
        reinterpret_cast<PTC_GEN_FLOW>(const_cast<TcGenFlowHead*>(flow));
    return api.addFlow(asHandle(ifcHandle), asHandle(flowContext), flags,
                       genericFlow, asHandleOut(flowHandle));
  }

  std::uint32_t addFilter(TcHandle flowHandle, const TcGenFilter& filter,
                          TcHandle* filterHandle) override {
    PTC_GEN_FILTER genericFilter =
        reinterpret_cast<PTC_GEN_FILTER>(const_cast<TcGenFilter*>(&filter));
    return api.addFilter(asHandle(flowHandle), genericFilter,
                         asHandleOut(filterHandle));
  }

  std::uint32_t deleteFilter(TcHandle filterHandle) override {
    return api.deleteFilter(asHandle(filterHandle));
  }
  std::uint32_t deleteFlow(TcHandle flowHandle) override {
    return api.deleteFlow(asHandle(flowHandle));
  }
  std::uint32_t closeInterface(TcHandle ifcHandle) override {
    return api.closeInterface(asHandle(ifcHandle));
  }
  std::uint32_t deregisterClient(TcHandle clientHandle) override {
    return api.deregisterClient(asHandle(clientHandle));
  }
};

}  // namespace

TrafficControl& WindowsPlatform::trafficControl() {
  static WindowsTrafficControl service;
  return service;
}

}  // namespace windows
}  // namespace stampcast
