// traffic.dll for the Wine tests: Wine has no traffic-control service, so
// this one stands in beside stampcast.exe. It answers through the Linux
// build's emulated traffic control, which checks every call against the
// service's rules (object lengths, the closing end-of-list object, DS field 0 to 63,
// pattern and mask sizes, live handles, children removed before parents).
// The test steers it through the environment, which Wine hands on:
//   STAMPCAST_TC_INTERFACES  "name=a.b.c.d;name=a.b.c.d": the adapters
//                            listed, each with a \DEVICE\{GUID} identifier
//                            as Windows shows it;
//   STAMPCAST_TC_RECORD      the file each call is appended to, one line:
//                            "call arguments result out-handle [note]",
//                            the note of a flow its words in hex;
//   STAMPCAST_TC_REFUSE      "TcAddFlow=7520": that call returns that code
//                            and does nothing;
//   STAMPCAST_TC_GROW        "n": the first n listings each find one adapter
//                            more than the one before, as when adapters
//                            appear between two calls;
//   STAMPCAST_TC_CLOSE       "event ms": so long after the filter is added,
//                            a thread of its own tells the client that the
//                            service closed the interface (event 2) or the
//                            flow (5), as Windows does.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <windows.h>

#include "platform/common/emulated_traffic_control.h"

namespace stampcast {
namespace {

std::string fromEnvironment(const char* name) { const char* v = std::getenv(name); return v ? v : ""; }

std::string dotted(std::uint32_t address) {  // network order, little-endian
  return std::to_string(address & 0xFF) + "." + std::to_string(address >> 8 & 0xFF) + "." +
         std::to_string(address >> 16 & 0xFF) + "." + std::to_string(address >> 24);
}

std::vector<InterfaceInfo> listed() {
  static int listings = 0;
  std::vector<InterfaceInfo> list;
  std::string described = fromEnvironment("STAMPCAST_TC_INTERFACES");
  const int added = std::min(++listings, std::atoi(fromEnvironment("STAMPCAST_TC_GROW").c_str()));
  for (int n = 1; n <= added; ++n) described += ";Added " + std::to_string(n) + "=10.72.0." + std::to_string(n);
  while (!described.empty()) {
    const std::string entry = described.substr(0, described.find(';'));
    described.erase(0, entry.size() + 1);
    const std::size_t equals = entry.rfind('=');
    unsigned b[4] = {};
    std::sscanf(entry.c_str() + equals + 1, "%u.%u.%u.%u", &b[0], &b[1], &b[2], &b[3]);
    InterfaceInfo info;
    info.name = entry.substr(0, equals);
    info.index = static_cast<unsigned>(list.size() + 1);
    info.ipv4Address = b[0] | b[1] << 8 | b[2] << 16 | b[3] << 24;
    info.id = "\\DEVICE\\{4D36E972-E325-11CE-BFC1-00000000000" + std::to_string(info.index) + "}";
    list.push_back(info);
  }
  return list;
}

TcClientFuncList given{};  // the client's handlers (its context is the program's 0)

DWORD WINAPI notifyLater(void*) {
  unsigned event = 0, ms = 0;
  std::sscanf(fromEnvironment("STAMPCAST_TC_CLOSE").c_str(), "%u %u", &event, &ms);
  Sleep(ms);
  given.notifyHandler(0, 0, event, 0, 0, nullptr);
  return 0;
}

EmulatedTrafficControl& layer() { static EmulatedTrafficControl instance(listed); return instance; }

// Appends the call's line; the file is closed at once, so that a killed
// sender leaves its whole record.
template <typename Call>
std::uint32_t answer(const char* name, const std::string& arguments,
                     const TcHandle* out, Call call) {
  const std::string refusal = fromEnvironment("STAMPCAST_TC_REFUSE");
  const std::string prefix = std::string(name) + "=";
  std::string note;
  const unsigned long result = refusal.compare(0, prefix.size(), prefix) == 0
                                   ? std::strtoul(refusal.c_str() + prefix.size(), nullptr, 10)
                                   : call(note);
  if (FILE* file = std::fopen(fromEnvironment("STAMPCAST_TC_RECORD").c_str(), "a")) {
    std::fprintf(file, "%s %s %lu %s%s\n", name, arguments.c_str(), result,
                 result == 0 && out ? std::to_string(*out).c_str() : "-", note.c_str());
    std::fclose(file);
  }
  return result;
}

}  // namespace
}  // namespace stampcast

using namespace stampcast;
#define EXPORT extern "C" __declspec(dllexport) std::uint32_t

EXPORT TcRegisterClient(std::uint32_t version, TcHandle context,
                        const TcClientFuncList* handlers, TcHandle* client) {
  return answer("TcRegisterClient", std::to_string(version), client, [&](std::string&) {
    given = *handlers;
    return layer().registerClient(version, context, *handlers, client);
  });
}
EXPORT TcEnumerateInterfaces(TcHandle client, std::uint32_t* size, void* buffer) {
  const std::string given = size ? std::to_string(*size) : "null";
  return answer("TcEnumerateInterfaces", std::to_string(client) + " " + given,
                nullptr, [&](std::string& note) {
    const std::uint32_t result = layer().enumerateInterfaces(client, size, buffer);
    if (size != nullptr) note = " size=" + std::to_string(*size);
    return result;
  });
}
EXPORT TcOpenInterfaceW(const char16_t* name, TcHandle client, TcHandle context,
                        TcHandle* ifc) {
  std::string narrow;
  for (const char16_t* c = name; c != nullptr && *c != 0; ++c) narrow += static_cast<char>(*c);
  return answer("TcOpenInterfaceW", std::to_string(client) + " [" + narrow + "]", ifc,
                [&](std::string&) { return layer().openInterface(name, client, context, ifc); });
}
EXPORT TcAddFlow(TcHandle ifc, TcHandle context, std::uint32_t flags,
                 const TcGenFlowHead* flow, TcHandle* out) {
  return answer("TcAddFlow", std::to_string(ifc), out, [&](std::string& note) {
    const std::uint32_t result = layer().addFlow(ifc, context, flags, flow, out);
    // Accepted: the head and its objects are whole. Every 32-bit word, in hex.
    for (std::size_t i = 0; result == 0 && i < sizeof *flow + flow->tcObjectsLength; i += 4) {
      std::uint32_t word;
      std::memcpy(&word, reinterpret_cast<const char*>(flow) + i, 4);
      char hex[10];
      std::snprintf(hex, sizeof hex, " %x", word);
      note += hex;
    }
    return result;
  });
}
EXPORT TcAddFilter(TcHandle flow, const TcGenFilter* filter, TcHandle* out) {
  return answer("TcAddFilter", std::to_string(flow), out, [&](std::string& note) {
    const std::uint32_t result = layer().addFilter(flow, *filter, out);
    if (result != 0) return result;
    IpPattern pattern, mask;  // accepted: both whole
    std::memcpy(&pattern, filter->pattern, sizeof pattern);
    std::memcpy(&mask, filter->mask, sizeof mask);
    // The class the layer gives datagrams to the address: the flow's.
    note = " " + dotted(pattern.dstAddr) + "/" + dotted(mask.dstAddr) +
           " ds=" + std::to_string(layer().dsClassFor(pattern.dstAddr));
    if (!fromEnvironment("STAMPCAST_TC_CLOSE").empty()) {
      CloseHandle(CreateThread(nullptr, 0, notifyLater, nullptr, 0, nullptr));
    }
    return result;
  });
}
#define REMOVAL(name, method)                                              \
  EXPORT name(TcHandle handle) {                                           \
    return answer(#name, std::to_string(handle), nullptr,                  \
                  [&](std::string&) { return layer().method(handle); });   \
  }
REMOVAL(TcDeleteFilter, deleteFilter)
REMOVAL(TcDeleteFlow, deleteFlow)
REMOVAL(TcCloseInterface, closeInterface)
REMOVAL(TcDeregisterClient, deregisterClient)
