// The Traffic Control API. The program's records share the API's layouts
// (checked in layouts.cc), so they pass by pointer, unchanged.
#include "platform/windows/windows_headers.h"
#include "platform/windows/windows_platform.h"

namespace stampcast {
namespace windows {
namespace {

HANDLE asHandle(TcHandle handle) { return reinterpret_cast<HANDLE>(handle); }

// An out handle is written by the API straight into the program's record
// (a handle and TcHandle are both pointer-sized).
PHANDLE asHandleOut(TcHandle* out) { return reinterpret_cast<PHANDLE>(out); }

// The program acts on no notification, and the program's own handler has
// not the API's calling convention: Windows calls this one, which ignores
// it too.
VOID CALLBACK ignoreNotification(HANDLE, HANDLE, ULONG, HANDLE, ULONG, PVOID) {}

template <typename Handler>
Handler asHandler(void* function) {
  return reinterpret_cast<Handler>(function);
}

class WindowsTrafficControl final : public TrafficControl {
 public:
  std::uint32_t registerClient(std::uint32_t version, TcHandle clientContext,
                               const TcClientFuncList& handlers,
                               TcHandle* clientHandle) override {
    // The API is not said to copy the list, so it lives as long as the
    // process.
    static TCI_CLIENT_FUNC_LIST list;
    list = TCI_CLIENT_FUNC_LIST{};
    list.ClNotifyHandler = handlers.notifyHandler ? ignoreNotification : nullptr;
    list.ClAddFlowCompleteHandler = asHandler<TCI_ADD_FLOW_COMPLETE_HANDLER>(
        handlers.addFlowCompleteHandler);
    list.ClModifyFlowCompleteHandler = asHandler<TCI_MOD_FLOW_COMPLETE_HANDLER>(
        handlers.modifyFlowCompleteHandler);
    list.ClDeleteFlowCompleteHandler = asHandler<TCI_DEL_FLOW_COMPLETE_HANDLER>(
        handlers.deleteFlowCompleteHandler);
    return TcRegisterClient(version, asHandle(clientContext), &list,
                            asHandleOut(clientHandle));
  }

  std::uint32_t enumerateInterfaces(TcHandle clientHandle,
                                    std::uint32_t* bufferSize,
                                    void* buffer) override {
    return TcEnumerateInterfaces(asHandle(clientHandle),
                                 reinterpret_cast<PULONG>(bufferSize),
                                 static_cast<PTC_IFC_DESCRIPTOR>(buffer));
  }

  std::uint32_t openInterface(const char16_t* interfaceName,
                              TcHandle clientHandle, TcHandle ifcContext,
                              TcHandle* ifcHandle) override {
    // The API takes a writable pointer but only reads the name.
    LPWSTR name =
        reinterpret_cast<LPWSTR>(const_cast<char16_t*>(interfaceName));
    return TcOpenInterfaceW(name, asHandle(clientHandle),
                            asHandle(ifcContext), asHandleOut(ifcHandle));
  }

  std::uint32_t addFlow(TcHandle ifcHandle, TcHandle flowContext,
                        std::uint32_t flags, const TcGenFlowHead* flow,
                        TcHandle* flowHandle) override {
    // The objects that follow the head in memory travel with it.
    PTC_GEN_FLOW genericFlow =
        reinterpret_cast<PTC_GEN_FLOW>(const_cast<TcGenFlowHead*>(flow));
    return TcAddFlow(asHandle(ifcHandle), asHandle(flowContext), flags,
                     genericFlow, asHandleOut(flowHandle));
  }

  std::uint32_t addFilter(TcHandle flowHandle, const TcGenFilter& filter,
                          TcHandle* filterHandle) override {
    PTC_GEN_FILTER genericFilter =
        reinterpret_cast<PTC_GEN_FILTER>(const_cast<TcGenFilter*>(&filter));
    return TcAddFilter(asHandle(flowHandle), genericFilter,
                       asHandleOut(filterHandle));
  }

  std::uint32_t deleteFilter(TcHandle filterHandle) override {
    return TcDeleteFilter(asHandle(filterHandle));
  }
  std::uint32_t deleteFlow(TcHandle flowHandle) override {
    return TcDeleteFlow(asHandle(flowHandle));
  }
  std::uint32_t closeInterface(TcHandle ifcHandle) override {
    return TcCloseInterface(asHandle(ifcHandle));
  }
  std::uint32_t deregisterClient(TcHandle clientHandle) override {
    return TcDeregisterClient(asHandle(clientHandle));
  }
};

}  // namespace

TrafficControl& WindowsPlatform::trafficControl() {
  static WindowsTrafficControl service;
  return service;
}

}  // namespace windows
}  // namespace stampcast
