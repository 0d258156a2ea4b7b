// A chosen interface on Windows: the adapters from GetAdaptersAddresses
// (iphlpapi.dll, loaded from the system folder when first asked for), the
// sending interface and the joins by the adapter's address, or by its index
// in the 0.0.0.N form where it has no IPv4 address.
#include "platform/windows/system_library.h"
#include "platform/windows/windows_headers.h"
#include "platform/windows/windows_platform.h"

#include <iphlpapi.h>

#include <cstring>
#include <memory>
#include <new>

namespace stampcast {
namespace windows {
namespace {

using AdapterLister = ULONG(WINAPI*)(ULONG, ULONG, PVOID,
                                     PIP_ADAPTER_ADDRESSES, PULONG);

AdapterLister adapterLister() {
  static const HMODULE module = loadSystemLibrary(L"iphlpapi.dll");
  AdapterLister lister = nullptr;
  if (module != nullptr) {
    findFunction(module, "GetAdaptersAddresses", &lister);
  }
  return lister;
}

// The socket layer's word for an interface: its address, else its index.
ULONG interfaceWord(unsigned index, std::uint32_t address) {
  return address != 0 ? address : htonl(index);
}

// Adapters that appear between two calls make the list outgrow the size the
// last one reported; it is asked for again this many times.
constexpr int kListAttempts = 4;

}  // namespace

bool WindowsPlatform::listInterfaces(std::vector<HostInterface>* interfaces) {
  const AdapterLister list = adapterLister();
  if (list == nullptr) return false;
  const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                      GAA_FLAG_SKIP_DNS_SERVER;
  ULONG size = 16 * 1024;
  std::unique_ptr<std::uint64_t[]> buffer;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0;
       attempt < kListAttempts && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.reset(new (std::nothrow) std::uint64_t[size / 8 + 1]);
    if (buffer == nullptr) return false;
    result = list(AF_UNSPEC, flags, nullptr,
                  reinterpret_cast<PIP_ADAPTER_ADDRESSES>(buffer.get()), &size);
  }
  if (result == ERROR_NO_DATA) return true;  // no adapter at all
  if (result != ERROR_SUCCESS) return false;
  for (auto* adapter = reinterpret_cast<PIP_ADAPTER_ADDRESSES>(buffer.get());
       adapter != nullptr; adapter = adapter->Next) {
    HostInterface host;
    // In UTF-8, as the program's words come (commandLine): a name matches
    // -i exactly when their UTF-16 texts match.
    host.name = adapter->FriendlyName != nullptr
                    ? toUtf8(adapter->FriendlyName, -1)
                    : std::string();
    // IfIndex is the IPv4 interface's, Ipv6IfIndex the IPv6 one's, 0 where
    // IPv6 is not on the adapter. Since Vista both are the adapter's one
    // interface index where both are set; Wine 8 leaves Ipv6IfIndex 0 on
    // adapters whose flags say IPv6 is on, which then take IfIndex.
    host.index = adapter->IfIndex;
    host.index6 = adapter->Ipv6IfIndex;
    if (host.index6 == 0 && (adapter->Flags & IP_ADAPTER_IPV6_ENABLED) != 0) {
      host.index6 = adapter->IfIndex;
    }
    for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
         unicast = unicast->Next) {
      const SOCKADDR* address = unicast->Address.lpSockaddr;
      if (address != nullptr && address->sa_family == AF_INET) {
        host.ipv4Addresses.push_back(
            reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
      } else if (address != nullptr && address->sa_family == AF_INET6) {
        host.ipv6Addresses.emplace_back();
        std::memcpy(host.ipv6Addresses.back().data(),
                    &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr,
                    16);
      }
    }
    interfaces->push_back(host);
  }
  return true;
}

int WindowsPlatform::setMulticastInterface(SocketHandle socket,
                                           std::uint16_t family, unsigned index,
                                           std::uint32_t address) {
  if (family == kAddressFamilyInet6) {
    const DWORD word = index;
    return ::setsockopt(asSocket(socket), IPPROTO_IPV6, IPV6_MULTICAST_IF,
                        reinterpret_cast<const char*>(&word), sizeof word);
  }
  const ULONG word = interfaceWord(index, address);
  return ::setsockopt(asSocket(socket), IPPROTO_IP, IP_MULTICAST_IF,
                      reinterpret_cast<const char*>(&word), sizeof word);
}

int WindowsPlatform::joinGroupOn(SocketHandle socket, const GroupJoin& join) {
  // Without a named interface, 0: the one the system picks.
  const ULONG on = join.interfaceIndex != 0
                       ? interfaceWord(join.interfaceIndex, join.interfaceAddress)
                       : 0;
  if (join.source.family == 0) {
    ip_mreq request{};
    request.imr_multiaddr.s_addr = ipv4Of(join.group);
    request.imr_interface.s_addr = on;
    return ::setsockopt(asSocket(socket), IPPROTO_IP, IP_ADD_MEMBERSHIP,
                        reinterpret_cast<const char*>(&request), sizeof request);
  }
  // Windows' record puts the source before the interface. Windows names
  // the interface in it as in ip_mreq; MCAST_JOIN_SOURCE_GROUP, by index,
  // is missing from older stacks and from Wine.
  ip_mreq_source request{};
  request.imr_multiaddr.s_addr = ipv4Of(join.group);
  request.imr_sourceaddr.s_addr = ipv4Of(join.source);
  request.imr_interface.s_addr = on;
  return ::setsockopt(asSocket(socket), IPPROTO_IP, IP_ADD_SOURCE_MEMBERSHIP,
                      reinterpret_cast<const char*>(&request), sizeof request);
}

}  // namespace windows
}  // namespace stampcast
