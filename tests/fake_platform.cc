#include "tests/fake_platform.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace stampcast {

// Records a socket call; -1 with its error when the test made it fail.
int FakePlatform::socketCall(const char* name, int success) {
  calls.push_back(name);
  const auto failure = failures.find(name);
  lastError_ =
      failure == failures.end() ? 0 : static_cast<int>(failure->second);
  return failure == failures.end() ? success : kSocketError;
}

int FakePlatform::sendTo(SocketHandle, const void* data, int length, int flags,
                         const SocketAddress& destination) {
  sentTo = destination;
  sendFlags = flags;
  if (sendsBeforeFailure-- <= 0) failures.emplace("sendTo", sendError);
  const int result = socketCall("sendTo", length);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  if (result == length) sent.emplace_back(bytes, bytes + length);
  return result;
}

int FakePlatform::receiveFrom(SocketHandle, void* buffer, int length, int,
                              SocketAddress*, int*) {
  if (datagrams.empty()) {
    failures.emplace("receiveFrom", 10004);
    return socketCall("receiveFrom");
  }
  const std::vector<std::uint8_t> datagram = std::move(datagrams.front());
  datagrams.pop_front();
  const int copied = std::min<int>(length, static_cast<int>(datagram.size()));
  if (copied > 0) std::memcpy(buffer, datagram.data(), copied);
  return socketCall("receiveFrom", copied);
}

void FakePlatform::getLocalTime(LocalTime* time) {
  calls.push_back("getLocalTime");
  *time = times.empty() ? now : times.front();
  if (!times.empty()) times.pop_front();
}

std::uint32_t FakePlatform::tcCall(const char* name) {
  calls.push_back(name);
  const auto failure = failures.find(name);
  return failure == failures.end() ? 0 : failure->second;
}

std::uint32_t FakePlatform::tcEnumerateInterfaces(TcHandle, std::uint32_t* size,
                                                  void* buffer) {
  enumerateSizeGiven = *size;
  const std::uint32_t result = tcCall("tcEnumerateInterfaces");
  if (result == 0 && enumeratedSize > 0) {
    // One descriptor whose name lies in the buffer behind it.
    static const char16_t kName[] = u"Fake Interface";
    auto* descriptor = static_cast<TcInterfaceDescriptor*>(buffer);
    auto* name = reinterpret_cast<char16_t*>(descriptor + 1);
    std::copy(std::begin(kName), std::end(kName), name);
    descriptor->length = enumeratedSize;
    descriptor->interfaceName = descriptor->interfaceId = name;
  }
  *size = enumeratedSize;
  return result;
}

std::uint32_t FakePlatform::tcAddFlow(TcHandle, TcHandle, std::uint32_t,
                                      const TcGenFlowHead* flow,
                                      TcHandle* out) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(flow);
  flowBytes.assign(bytes, bytes + sizeof *flow + flow->tcObjectsLength);
  *out = 0x33;
  return tcCall("tcAddFlow");
}

}  // namespace stampcast
