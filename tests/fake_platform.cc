#include "tests/fake_platform.h"

#include <algorithm>
#include <cstring>

namespace stampcast {

void FakePlatform::writeOutput(const char* text, std::size_t length) {
  output.append(text, length);
}

int FakePlatform::socketCall(const char* name, int success) {
  calls.push_back(name);
  const auto failure = failures.find(name);
  if (failure == failures.end()) {
    lastError = 0;
    return success;
  }
  lastError = failure->second;
  return kSocketError;
}

int FakePlatform::startup() {
  calls.push_back("startup");
  return startupResult;
}
int FakePlatform::cleanup() { return socketCall("cleanup"); }
SocketHandle FakePlatform::openUdpSocket() {
  calls.push_back("openUdpSocket");
  return socketResult;
}
int FakePlatform::setMulticastTtl(SocketHandle, int ttl) {
  ttlSet = ttl;
  return socketCall("setMulticastTtl");
}
int FakePlatform::joinGroup(SocketHandle, const MulticastMembership& m) {
  joined = m;
  return socketCall("joinGroup");
}
int FakePlatform::bindSocket(SocketHandle, const SocketAddress& local) {
  bound = local;
  return socketCall("bindSocket");
}
int FakePlatform::sendTo(SocketHandle, const void* data, int length, int flags,
                         const SocketAddress& destination) {
  sentTo = destination;
  sendFlags = flags;
  if (sendsBeforeFailure <= 0 && !failures.count("sendTo")) {
    failures["sendTo"] = 10050;
  }
  if (sendsBeforeFailure-- <= 0) return socketCall("sendTo");
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  sent.emplace_back(bytes, bytes + length);
  calls.push_back("sendTo");
  lastError = 0;
  return length;
}
int FakePlatform::receiveFrom(SocketHandle, void* buffer, int length, int,
                              SocketAddress*, int*) {
  if (datagrams.empty()) {
    if (!failures.count("receiveFrom")) failures["receiveFrom"] = 10004;
    return socketCall("receiveFrom");
  }
  std::vector<std::uint8_t> datagram = std::move(datagrams.front());
  datagrams.pop_front();
  const int copied = std::min<int>(length, static_cast<int>(datagram.size()));
  if (copied > 0) std::memcpy(buffer, datagram.data(), copied);
  calls.push_back("receiveFrom");
  lastError = 0;
  return copied;
}
int FakePlatform::shutdownSocket(SocketHandle, int) {
  return socketCall("shutdownSocket");
}
int FakePlatform::closeSocket(SocketHandle) { return socketCall("closeSocket"); }

void FakePlatform::getLocalTime(LocalTime* time) {
  calls.push_back("getLocalTime");
  if (times.empty()) {
    *time = now;
    return;
  }
  *time = times.front();
  times.pop_front();
}
int FakePlatform::setLocalTime(const LocalTime& time) {
  calls.push_back("setLocalTime");
  clockSets.push_back(time);
  return setLocalTimeResult;
}
void FakePlatform::sleepMilliseconds(std::uint32_t milliseconds) {
  calls.push_back("sleepMilliseconds");
  sleeps.push_back(milliseconds);
}

std::uint32_t FakePlatform::tcCall(const char* name) {
  calls.push_back(name);
  const auto result = tcResults.find(name);
  return result == tcResults.end() ? 0 : result->second;
}
std::uint32_t FakePlatform::tcRegisterClient(std::uint32_t version, TcHandle,
                                             const TcClientFuncList& given,
                                             TcHandle* client) {
  registeredVersion = version;
  handlers = given;
  *client = clientHandle;
  return tcCall("tcRegisterClient");
}
std::uint32_t FakePlatform::tcEnumerateInterfaces(TcHandle, std::uint32_t* size,
                                                  void* buffer) {
  enumerateSizeGiven = *size;
  const std::uint32_t result = tcCall("tcEnumerateInterfaces");
  if (result == 0 && enumeratedSize > 0) {
    // One descriptor whose name lies in the buffer behind it.
    auto* descriptor = static_cast<TcInterfaceDescriptor*>(buffer);
    auto* name = reinterpret_cast<char16_t*>(descriptor + 1);
    std::copy(interfaceName.begin(), interfaceName.end(), name);
    name[interfaceName.size()] = 0;
    descriptor->length = enumeratedSize;
    descriptor->interfaceName = name;
    descriptor->interfaceId = name;
  }
  *size = enumeratedSize;
  return result;
}
std::uint32_t FakePlatform::tcOpenInterface(const char16_t* name, TcHandle,
                                            TcHandle, TcHandle* ifc) {
  openedName = name;
  *ifc = ifcHandle;
  return tcCall("tcOpenInterface");
}
std::uint32_t FakePlatform::tcAddFlow(TcHandle, TcHandle, std::uint32_t,
                                      const TcGenFlowHead* flow,
                                      TcHandle* out) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(flow);
  flowBytes.assign(bytes, bytes + sizeof *flow + flow->tcObjectsLength);
  *out = flowHandle;
  return tcCall("tcAddFlow");
}
std::uint32_t FakePlatform::tcAddFilter(TcHandle, const TcGenFilter& f,
                                        TcHandle* out) {
  filter = f;
  std::memcpy(&filterPattern, f.pattern, sizeof filterPattern);
  std::memcpy(&filterMask, f.mask, sizeof filterMask);
  *out = filterHandle;
  return tcCall("tcAddFilter");
}
std::uint32_t FakePlatform::tcDeleteFilter(TcHandle handle) {
  removedHandles["tcDeleteFilter"] = handle;
  return tcCall("tcDeleteFilter");
}
std::uint32_t FakePlatform::tcDeleteFlow(TcHandle handle) {
  removedHandles["tcDeleteFlow"] = handle;
  return tcCall("tcDeleteFlow");
}
std::uint32_t FakePlatform::tcCloseInterface(TcHandle handle) {
  removedHandles["tcCloseInterface"] = handle;
  return tcCall("tcCloseInterface");
}
std::uint32_t FakePlatform::tcDeregisterClient(TcHandle handle) {
  removedHandles["tcDeregisterClient"] = handle;
  return tcCall("tcDeregisterClient");
}

}  // namespace stampcast
