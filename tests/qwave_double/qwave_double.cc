// qwave.dll for the Wine tests: Wine has no qWAVE. It answers through the
// Linux build's emulated qWAVE (platform/common/emulated_qos.h), which checks
// each call's arguments, over one adapter, and appends each call to the file
// STAMPCAST_TC_RECORD names: "call arguments result [out]", the destination
// as its 16 bytes in hex and its port, QOSSetFlow with the DS class that the
// emulation now gives datagrams to that destination.
// STAMPCAST_QOS_REFUSE "QOSSetFlow=5": that call fails with that error.
// STAMPCAST_QOS_INVALIDATE "N": the Nth QOSQueryFlow finds every handle and
// flow invalid, as after the host's sleep, and so does every call after it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <windows.h>

#include "platform/common/emulated_qos.h"

namespace stampcast {
namespace {

EmulatedTrafficControl layer([] { return std::vector<InterfaceInfo>{{"qwave0", 1, 0}}; });
EmulatedQos service(layer);
SocketAddress destination{};

template <typename Call>
BOOL answer(const char* name, const std::string& arguments, Call call) {
  const char* refuse = std::getenv("STAMPCAST_QOS_REFUSE");
  const std::string prefix = std::string(name) + "=";
  std::string out;
  const bool refused = refuse && std::strncmp(refuse, prefix.c_str(), prefix.size()) == 0;
  const unsigned long result = refused ? std::strtoul(refuse + prefix.size(), nullptr, 10) : call(out);
  if (FILE* file = std::fopen(std::getenv("STAMPCAST_TC_RECORD"), "a")) {
    std::fprintf(file, "%s %s %lu%s\n", name, arguments.c_str(), result, result == 0 ? out.c_str() : "");
    std::fclose(file);
  }
  SetLastError(result);
  return result == 0;
}

}  // namespace
}  // namespace stampcast

using namespace stampcast;
using std::to_string;
#define EXPORT extern "C" __declspec(dllexport) BOOL

EXPORT QOSCreateHandle(const QosVersion* version, QosHandle* handle) {
  const std::string given = version ? to_string(version->major) + "." + to_string(version->minor) : "null";
  return answer("QOSCreateHandle", given, [&](std::string& out) {
    const std::uint32_t result = version ? service.createHandle(*version, handle) : 87;
    if (result == 0) out = " " + to_string(*handle);
    return result;
  });
}
EXPORT QOSAddSocketToFlow(QosHandle handle, SocketHandle socket, const SocketAddress* to, int type,
                          DWORD flags, QosFlowId* flow) {
  std::string given = to_string(handle) + " ";
  for (int i = 0; to && i < 16; ++i) given += "0123456789abcdef"[to->address[i] >> 4] + std::string(1, "0123456789abcdef"[to->address[i] & 15]);
  given += to ? " " + to_string(to->family) + " " + to_string((to->port >> 8) | (to->port & 0xFF) << 8) : " null";
  given += " " + to_string(type) + " " + to_string(flags);
  return answer("QOSAddSocketToFlow", given, [&](std::string& out) {
    const std::uint32_t result = to ? service.addSocketToFlow(handle, socket, *to, type, flags, flow) : 87;
    if (result == 0) destination = *to;
    if (result == 0) out = " " + to_string(*flow);
    return result;
  });
}
EXPORT QOSSetFlow(QosHandle handle, QosFlowId flow, int operation, ULONG size, const void* buffer, DWORD,
                  void*) {
  std::uint32_t value = 0;
  if (buffer && size == 4) std::memcpy(&value, buffer, 4);
  const std::string given = to_string(handle) + " " + to_string(flow) + " " + to_string(operation) + " " +
                            to_string(size) + " " + to_string(value);
  return answer("QOSSetFlow", given, [&](std::string& out) {
    const std::uint32_t result = service.setFlow(handle, flow, operation, size, buffer);
    out = " ds=" + to_string(layer.dsClassFor6(destination.address, destination.port));
    return result;
  });
}
EXPORT QOSQueryFlow(QosHandle handle, QosFlowId flow, int operation, ULONG* size, void* buffer, DWORD,
                    void*) {
  static int queries = 0;
  const char* invalidate = std::getenv("STAMPCAST_QOS_INVALIDATE");
  if (invalidate && ++queries == std::atoi(invalidate)) service.invalidate();
  const std::string given = to_string(handle) + " " + to_string(flow) + " " + to_string(operation) + " " +
                            (size ? to_string(*size) : "null");
  return answer("QOSQueryFlow", given, [&](std::string&) {
    return size ? service.queryFlow(handle, flow, operation, *size, buffer) : 87u;
  });
}
EXPORT QOSRemoveSocketFromFlow(QosHandle handle, SocketHandle socket, QosFlowId flow, DWORD flags) {
  return answer("QOSRemoveSocketFromFlow", to_string(handle) + " " + to_string(flow) + " " + to_string(flags),
                [&](std::string&) { return service.removeSocketFromFlow(handle, socket, flow, flags); });
}
EXPORT QOSCloseHandle(QosHandle handle) {
  return answer("QOSCloseHandle", to_string(handle), [&](std::string&) { return service.closeHandle(handle); });
}
