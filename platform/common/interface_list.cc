#include "platform/common/interface_list.h"

#include <cstring>

namespace stampcast {
namespace {

// Descriptor layout: head, address list, optional IPv4 network address,
// then the two strings.
constexpr std::size_t kHeadSize = sizeof(TcInterfaceDescriptor);
constexpr std::size_t kAddressListSize = kFirstAddressOffset - kHeadSize;
constexpr std::uint16_t kIpAddressLength = sizeof(NetworkAddressIp);
constexpr std::size_t kNetworkAddressSize =
    sizeof(NetworkAddressHead) + kIpAddressLength;
constexpr std::size_t kDescriptorAlignment = 8;

std::u16string idText(const InterfaceInfo& info) {
  return toUtf16(info.id.empty() ? std::to_string(info.index) : info.id);
}

std::size_t descriptorSize(const InterfaceInfo& info) {
  std::size_t size = kHeadSize + kAddressListSize;
  if (info.ipv4Address != 0) size += kNetworkAddressSize;
  size += (toUtf16(info.name).size() + 1) * sizeof(char16_t);
  size += (idText(info).size() + 1) * sizeof(char16_t);
  return (size + kDescriptorAlignment - 1) / kDescriptorAlignment *
         kDescriptorAlignment;
}

// Writes one value at a byte position; the caller's buffer need not be
// aligned for it.
template <typename T>
unsigned char* put(unsigned char* at, const T& value) {
  std::memcpy(at, &value, sizeof value);
  return at + sizeof value;
}

unsigned char* putString(unsigned char* at, const std::u16string& text) {
  std::memcpy(at, text.c_str(), (text.size() + 1) * sizeof(char16_t));
  return at + (text.size() + 1) * sizeof(char16_t);
}

void writeDescriptor(const InterfaceInfo& info, std::size_t size,
                     unsigned char* at) {
  std::memset(at, 0, size);
  const std::u16string name = toUtf16(info.name);
  const std::u16string id = idText(info);
  const bool hasAddress = info.ipv4Address != 0;

  unsigned char* strings = at + kHeadSize + kAddressListSize +
                           (hasAddress ? kNetworkAddressSize : 0);
  TcInterfaceDescriptor head{};  // zeroed: its padding reaches the buffer too
  head.length = static_cast<std::uint32_t>(size);
  head.interfaceName = reinterpret_cast<char16_t*>(strings);
  head.interfaceId = reinterpret_cast<char16_t*>(
      strings + (name.size() + 1) * sizeof(char16_t));
  std::memcpy(at, &head, sizeof head);

  unsigned char* p = at + kHeadSize;
  p = put(p, std::uint32_t{0});                                 // media type
  p = put(p, static_cast<std::int32_t>(hasAddress ? 1 : 0));    // count
  p = put(p, tc::kAddressTypeIp);
  if (hasAddress) {
    p = put(p, NetworkAddressHead{kIpAddressLength, tc::kAddressTypeIp});
    // Port and padding stay zero: only the address is written.
    put(p + offsetof(NetworkAddressIp, address), info.ipv4Address);
    p += kIpAddressLength;
  }
  putString(putString(p, name), id);
}

// A value copied out of the list's bytes, so that the buffer is never read
// through a cast.
template <typename T>
T readAt(const unsigned char* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// Whether the address list of the descriptor (`length` bytes at `ifc`, all
// of them inside the list) holds the IPv4 address `local`.
bool holdsAddress(const unsigned char* ifc, std::size_t length,
                  std::uint32_t local) {
  if (length < kFirstAddressOffset) return false;
  const auto count = readAt<std::int32_t>(ifc + kAddressCountOffset);
  std::size_t at = kFirstAddressOffset;
  for (std::int32_t i = 0;
       i < count && length - at >= sizeof(NetworkAddressHead); ++i) {
    const auto head = readAt<NetworkAddressHead>(ifc + at);
    at += sizeof head;
    if (head.addressLength > length - at) return false;
    if (head.addressType == tc::kAddressTypeIp &&
        head.addressLength >= sizeof(NetworkAddressIp) &&
        readAt<std::uint32_t>(ifc + at + offsetof(NetworkAddressIp,
                                                  address)) == local) {
      return true;
    }
    at += head.addressLength;
  }
  return false;
}

}  // namespace

std::u16string toUtf16(const std::string& text) {
  std::u16string result;
  for (const char byte : text) {
    result.push_back(static_cast<char16_t>(static_cast<unsigned char>(byte)));
  }
  return result;
}

std::size_t interfaceListSize(const std::vector<InterfaceInfo>& interfaces) {
  std::size_t size = 0;
  for (const InterfaceInfo& info : interfaces) size += descriptorSize(info);
  return size;
}

void writeInterfaceList(const std::vector<InterfaceInfo>& interfaces,
                        unsigned char* buffer) {
  for (const InterfaceInfo& info : interfaces) {
    const std::size_t size = descriptorSize(info);
    writeDescriptor(info, size, buffer);
    buffer += size;
  }
}

const char16_t* interfaceHolding(const unsigned char* list, std::uint32_t size,
                                 std::uint32_t local) {
  std::size_t at = 0;
  while (local != 0 && size - at >= sizeof(TcInterfaceDescriptor)) {
    const unsigned char* ifc = list + at;
    const auto name = readAt<char16_t*>(
        ifc + offsetof(TcInterfaceDescriptor, interfaceName));
    const auto length = readAt<std::uint32_t>(
        ifc + offsetof(TcInterfaceDescriptor, length));
    if (length < sizeof(TcInterfaceDescriptor) || length > size - at) break;
    if (name != nullptr && holdsAddress(ifc, length, local)) return name;
    at += length;
  }
  return nullptr;
}

const char16_t* chosenInterfaceName(const unsigned char* list,
                                    std::uint32_t size, std::uint32_t local) {
  static const char16_t kNoName[] = u"";
  if (const char16_t* held = interfaceHolding(list, size, local)) return held;
  const char16_t* first = nullptr;
  if (size >= sizeof(TcInterfaceDescriptor)) {
    first = readAt<char16_t*>(list + offsetof(TcInterfaceDescriptor,
                                              interfaceName));
  }
  return first != nullptr ? first : kNoName;
}

}  // namespace stampcast
