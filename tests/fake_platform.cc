#include "tests/fake_platform.h"

#include <algorithm>
#include <cstring>

namespace stampcast {

int FakePlatform::call(const std::string& name, const Bytes& record) {
  calls += name + " ";
  const auto failure = failures.find(name.substr(0, name.find(':')));
  if (failure != failures.end() && failure->second != 0) return failure->second;
  Bytes& all = given[name.substr(0, name.find(':'))];
  all.insert(all.end(), record.begin(), record.end());
  return 0;
}

int FakePlatform::sendBatch(SocketHandle, const void* data, int length, int count, int,
                            const SocketAddress&) {
  const int sent = std::min({count, sendsBeforeFailure, 20});
  sendsBeforeFailure -= sent;
  if (sent == 0) failures.emplace("sendBatch", 10050);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  return socketCall("sendBatch:" + std::to_string(count), sent, Bytes(bytes, bytes + sent * length));
}

int FakePlatform::receiveBatch(SocketHandle, void* slots, int length, int count, int* lengths, Arrival* arrived) {
  if (datagrams.empty() && stopAtEnd) {
    stopped_ = true;
    return 0;
  }
  if (datagrams.empty()) failures.emplace("receiveBatch", 10004);
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
    if (arrived != nullptr) arrived[taken] = Arrival{};
    lengths[taken++] = copied;
  }
  return socketCall("receiveBatch", taken);
}

}  // namespace stampcast
