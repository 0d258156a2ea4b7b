#include "tests/fake_platform.h"

#include <algorithm>
#include <cstring>

namespace stampcast {

std::uint32_t FakePlatform::call(const std::string& name, const std::string& value,
                                 const Bytes& record) {
  calls += value.empty() ? name + " " : name + ":" + value + " ";
  const auto failure = failures.find(name);
  if (failure != failures.end() && failure->second != 0) return failure->second;
  given[name].insert(given[name].end(), record.begin(), record.end());
  return 0;
}

int FakePlatform::receiveBatch(SocketHandle, void* slots, int length, int count, int* lengths) {
  if (datagrams.empty()) failures.emplace("receiveBatch", 10004);
  if (datagrams.empty()) return socketCall("receiveBatch");
  // Both ends of the slots the caller claims are touched, so that the
  // address sanitizer sees a claim larger than the buffer.
  auto* claimed = static_cast<volatile std::uint8_t*>(slots);
  claimed[0] = claimed[0];
  claimed[length * count - 1] = claimed[length * count - 1];
  int taken = 0;
  for (; taken < count && !datagrams.empty(); datagrams.pop_front()) {
    // Longer datagrams are cut to the slot, as every platform does.
    const int copied = std::min<int>(length, int(datagrams.front().size()));
    if (copied > 0) std::memcpy(static_cast<std::uint8_t*>(slots) + taken * length, datagrams.front().data(), copied);
    lengths[taken++] = copied;
  }
  return socketCall("receiveBatch", taken);
}

std::uint32_t FakePlatform::enumerateInterfaces(TcHandle, std::uint32_t* size, void* buffer) {
  const std::uint32_t result = call("enumerateInterfaces", std::to_string(*size));
  if (!interfaces.empty()) {  // with the layer's own 122
    TrafficControlLayer layer([this] { return interfaces; });
    TcHandle client = 0;
    layer.registerClient(2, 0, {[](TcHandle, TcHandle, std::uint32_t, TcHandle, std::uint32_t, void*) {}, nullptr, nullptr, nullptr}, &client);
    return result ? result : layer.enumerateInterfaces(client, size, buffer);
  }
  static char16_t name[] = u"fake0";
  if (result == 0 && interfaceListSize > 0) {
    static_cast<TcInterfaceDescriptor*>(buffer)->interfaceName = name;
  }
  *size = interfaceListSize;
  return result;
}

}  // namespace stampcast
