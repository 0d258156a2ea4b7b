// qWAVE (qos2.h), which marks an IPv6 socket's datagrams. qwave.dll is
// loaded at the first call, from the system folder only, as traffic.dll is
// (platform/windows/traffic_control.cc): a qwave.dll beside the program is
// never run. The program's records share qWAVE's layouts (layouts.cc).
#include "platform/windows/system_library.h"
#include "platform/windows/windows_headers.h"
#include "platform/windows/windows_platform.h"

namespace stampcast {
namespace windows {
namespace {

// The calls of qwave.dll, as the system's copy exports them.
struct QosApi {
  BOOL(WINAPI* createHandle)(PQOS_VERSION, PHANDLE);
  BOOL(WINAPI* closeHandle)(HANDLE);
  BOOL(WINAPI* addSocketToFlow)(HANDLE, SOCKET, PSOCKADDR, QOS_TRAFFIC_TYPE,
                                DWORD, PQOS_FLOWID);
  BOOL(WINAPI* removeSocketFromFlow)(HANDLE, SOCKET, QOS_FLOWID, DWORD);
  BOOL(WINAPI* setFlow)(HANDLE, QOS_FLOWID, QOS_SET_FLOW, ULONG, PVOID, DWORD,
                        LPOVERLAPPED);
  BOOL(WINAPI* queryFlow)(HANDLE, QOS_FLOWID, QOS_QUERY_FLOW, PULONG, PVOID,
                          DWORD, LPOVERLAPPED);
};

QosApi api{};
bool loaded = false;

// Loads the calls once: true, or false with the reason left in
// GetLastError (ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND).
bool loadQosApi() {
  if (loaded) return true;
  HMODULE dll = loadSystemLibrary(L"qwave.dll");
  loaded = dll != nullptr &&
           findFunction(dll, "QOSCreateHandle", &api.createHandle) &&
           findFunction(dll, "QOSCloseHandle", &api.closeHandle) &&
           findFunction(dll, "QOSAddSocketToFlow", &api.addSocketToFlow) &&
           findFunction(dll, "QOSRemoveSocketFromFlow",
                        &api.removeSocketFromFlow) &&
           findFunction(dll, "QOSSetFlow", &api.setFlow) &&
           findFunction(dll, "QOSQueryFlow", &api.queryFlow);
  if (loaded) return true;
  const DWORD error = GetLastError();
  if (dll != nullptr) FreeLibrary(dll);
  SetLastError(error != 0 ? error : ERROR_PROC_NOT_FOUND);
  return false;
}

HANDLE asHandle(QosHandle handle) { return reinterpret_cast<HANDLE>(handle); }

class WindowsQos final : public QualityOfService {
 public:
  bool createHandle(const QosVersion& version, QosHandle* handle) override {
    if (!loadQosApi()) return false;
    QOS_VERSION asked{version.major, version.minor};
    return api.createHandle(&asked, reinterpret_cast<PHANDLE>(handle)) != FALSE;
  }
  // The rest come only after a handle was made, so the calls are loaded.
  bool addSocketToFlow(QosHandle handle, SocketHandle socket,
                       const SocketAddress& destination, int trafficType,
                       std::uint32_t flags, QosFlowId* flowId) override {
    // qWAVE does not write the destination, though it takes it writable.
    auto* to = reinterpret_cast<PSOCKADDR>(const_cast<SocketAddress*>(&destination));
    return api.addSocketToFlow(asHandle(handle), asSocket(socket), to,
                               static_cast<QOS_TRAFFIC_TYPE>(trafficType), flags,
                               reinterpret_cast<PQOS_FLOWID>(flowId)) != FALSE;
  }
  bool setFlow(QosHandle handle, QosFlowId flowId, int operation,
               std::uint32_t size, const void* buffer) override {
    return api.setFlow(asHandle(handle), flowId,
                       static_cast<QOS_SET_FLOW>(operation), size,
                       const_cast<void*>(buffer), 0, nullptr) != FALSE;
  }
  bool queryFlow(QosHandle handle, QosFlowId flowId, int operation,
                 std::uint32_t size, void* buffer) override {
    ULONG given = size;
    return api.queryFlow(asHandle(handle), flowId,
                         static_cast<QOS_QUERY_FLOW>(operation), &given, buffer,
                         0, nullptr) != FALSE;
  }
  bool removeSocketFromFlow(QosHandle handle, SocketHandle socket,
                            QosFlowId flowId, std::uint32_t flags) override {
    return api.removeSocketFromFlow(asHandle(handle), asSocket(socket), flowId,
                                    flags) != FALSE;
  }
  bool closeHandle(QosHandle handle) override {
    return api.closeHandle(asHandle(handle)) != FALSE;
  }
};

}  // namespace

QualityOfService& WindowsPlatform::qualityOfService() {
  static WindowsQos service;
  return service;
}

}  // namespace windows
}  // namespace stampcast
