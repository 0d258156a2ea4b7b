// The interface descriptor list of a traffic-control enumeration, laid out
// in platform/traffic_control.h: written by the emulated traffic control,
// read back by the marking to pick the interface its flow goes on.
//
// The list as the emulation writes it: descriptors one after the other,
// each starting 8-byte aligned: the TcInterfaceDescriptor head; the address
// list (media type 0, 32-bit address count, 16-bit address type 2),
// followed, when the interface has an IPv4 address, by one network address
// (16-bit length 16, 16-bit type 2, then a NetworkAddressIp: port 0, the
// address in network order, 8 zero bytes); then the name and the identifier
// (the interface's own identifier text when it has one, else its index as
// decimal text) as NUL-terminated UTF-16 strings that the head points to.
// "lo" and "veth0" take 64 and 72 bytes: four such descriptors fit in 336
// bytes, five do not. Windows writes its own list in the same layout.
#ifndef STAMPCAST_PLATFORM_COMMON_INTERFACE_LIST_H_
#define STAMPCAST_PLATFORM_COMMON_INTERFACE_LIST_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/traffic_control.h"

namespace stampcast {

// An interface that is up and can carry multicast.
struct InterfaceInfo {
  std::string name;
  unsigned index = 0;
  std::uint32_t ipv4Address = 0;  // network order; 0 when it has none
  // The identifier the list shows (as Windows shows \DEVICE\{GUID});
  // empty: the index as decimal text.
  std::string id{};
};

// A Linux interface name (bytes, ASCII in practice) as the list's UTF-16:
// each byte one unit, the same way for the list and for an open, so that a
// name read back from the list always opens its interface.
std::u16string toUtf16(const std::string& text);

// The bytes the list of these interfaces takes.
std::size_t interfaceListSize(const std::vector<InterfaceInfo>& interfaces);

// Writes the list at `buffer`, which holds interfaceListSize() bytes; the
// head's pointers point into it.
void writeInterfaceList(const std::vector<InterfaceInfo>& interfaces,
                        unsigned char* buffer);

// The name of the interface whose address list holds `local` (network
// order), or null when none does or `local` is 0. The walk stops at a
// descriptor whose length leaves the `size` bytes of the list.
const char16_t* interfaceHolding(const unsigned char* list, std::uint32_t size,
                                 std::uint32_t local);

// The name of the interface whose address list holds `local` (network
// order; 0 when unknown), else of the first interface in the list; an empty
// name when the list is empty or the descriptor carries none. The walk
// stops at a descriptor whose length leaves the `size` bytes of the list.
const char16_t* chosenInterfaceName(const unsigned char* list,
                                    std::uint32_t size, std::uint32_t local);

}  // namespace stampcast

#endif  // STAMPCAST_PLATFORM_COMMON_INTERFACE_LIST_H_
