// The Traffic Control API. The program's records share the API's layouts
// (checked in layouts.cc), so they pass by pointer, unchanged.
#include <atomic>

#include "platform/windows/windows_headers.h"
#include "platform/windows/windows_platform.h"

namespace stampcast {
namespace windows {
namespace {

HANDLE asHandle(TcHandle handle) { return reinterpret_cast<HANDLE>(handle); }
TcHandle fromHandle(HANDLE handle) { return reinterpret_cast<TcHandle>(handle); }

// The program's notification handler. Notifications may arrive on a thread
// of the traffic-control service, so the handler is kept where any thread
// can read it.
std::atomic<TcNotifyHandler> programNotifyHandler{nullptr};

// The handler that Windows calls, with its own calling convention and types;
// it hands each notification on and ignores it otherwise.
VOID CALLBACK onNotify(HANDLE clientContext, HANDLE ifcContext, ULONG event,
                       HANDLE subCode, ULONG bufferSize, PVOID buffer) {
  const TcNotifyHandler handler = programNotifyHandler.load();
  if (handler == nullptr) return;
  handler(fromHandle(clientContext), fromHandle(ifcContext), event,
          fromHandle(subCode), bufferSize, buffer);
}

template <typename Handler>
Handler asHandler(void* function) {
  return reinterpret_cast<Handler>(function);
}

// An out handle is written by the API straight into the program's record
// (a handle and TcHandle are both pointer-sized).
PHANDLE asHandleOut(TcHandle* out) { return reinterpret_cast<PHANDLE>(out); }

}  // namespace

std::uint32_t WindowsPlatform::tcRegisterClient(
    std::uint32_t version, TcHandle clientContext,
    const TcClientFuncList& handlers, TcHandle* clientHandle) {
  programNotifyHandler.store(handlers.notifyHandler);
  TCI_CLIENT_FUNC_LIST list{};
  list.ClNotifyHandler = handlers.notifyHandler ? onNotify : nullptr;
  list.ClAddFlowCompleteHandler =
      asHandler<TCI_ADD_FLOW_COMPLETE_HANDLER>(handlers.addFlowCompleteHandler);
  list.ClModifyFlowCompleteHandler = asHandler<TCI_MOD_FLOW_COMPLETE_HANDLER>(
      handlers.modifyFlowCompleteHandler);
  list.ClDeleteFlowCompleteHandler = asHandler<TCI_DEL_FLOW_COMPLETE_HANDLER>(
      handlers.deleteFlowCompleteHandler);
  return TcRegisterClient(version, asHandle(clientContext), &list,
                          asHandleOut(clientHandle));
}

std::uint32_t WindowsPlatform::tcEnumerateInterfaces(TcHandle clientHandle,
                                                     std::uint32_t* bufferSize,
                                                     void* buffer) {
  return TcEnumerateInterfaces(asHandle(clientHandle),
                               reinterpret_cast<PULONG>(bufferSize),
                               static_cast<PTC_IFC_DESCRIPTOR>(buffer));
}

std::uint32_t WindowsPlatform::tcOpenInterface(const char16_t* interfaceName,
                                               TcHandle clientHandle,
                                               TcHandle ifcContext,
                                               TcHandle* ifcHandle) {
  // The API takes a writable pointer but only reads the name.
  LPWSTR name = reinterpret_cast<LPWSTR>(const_cast<char16_t*>(interfaceName));
  return TcOpenInterfaceW(name, asHandle(clientHandle), asHandle(ifcContext),
                          asHandleOut(ifcHandle));
}

std::uint32_t WindowsPlatform::tcAddFlow(TcHandle ifcHandle,
                                         TcHandle flowContext,
                                         std::uint32_t flags,
                                         const TcGenFlowHead* flow,
                                         TcHandle* flowHandle) {
  // The objects that follow the head in memory travel with it.
  PTC_GEN_FLOW genericFlow =
      reinterpret_cast<PTC_GEN_FLOW>(const_cast<TcGenFlowHead*>(flow));
  return TcAddFlow(asHandle(ifcHandle), asHandle(flowContext), flags,
                   genericFlow, asHandleOut(flowHandle));
}

std::uint32_t WindowsPlatform::tcAddFilter(TcHandle flowHandle,
                                           const TcGenFilter& filter,
                                           TcHandle* filterHandle) {
  PTC_GEN_FILTER genericFilter =
      reinterpret_cast<PTC_GEN_FILTER>(const_cast<TcGenFilter*>(&filter));
  return TcAddFilter(asHandle(flowHandle), genericFilter,
                     asHandleOut(filterHandle));
}

std::uint32_t WindowsPlatform::tcDeleteFilter(TcHandle filterHandle) {
  return TcDeleteFilter(asHandle(filterHandle));
}

std::uint32_t WindowsPlatform::tcDeleteFlow(TcHandle flowHandle) {
  return TcDeleteFlow(asHandle(flowHandle));
}

std::uint32_t WindowsPlatform::tcCloseInterface(TcHandle ifcHandle) {
  return TcCloseInterface(asHandle(ifcHandle));
}

std::uint32_t WindowsPlatform::tcDeregisterClient(TcHandle clientHandle) {
  return TcDeregisterClient(asHandle(clientHandle));
}

}  // namespace windows
}  // namespace stampcast
