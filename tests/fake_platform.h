// A scripted platform for the core's tests: it records every call and all
// output, and answers each call as the test sets it up.
#ifndef STAMPCAST_TESTS_FAKE_PLATFORM_H_
#define STAMPCAST_TESTS_FAKE_PLATFORM_H_

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/traffic_control_layer.h"

namespace stampcast {

using Bytes = std::vector<std::uint8_t>;
inline Bytes bytesOf(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  return Bytes(bytes, bytes + size);
}
template <class Record>
Bytes bytesOf(const Record& record) {
  return bytesOf(&record, sizeof record);
}

// 17 March 2008 (a Monday), 14:05:30.250.
inline constexpr LocalTime kExampleTime{2008, 3, 1, 17, 14, 5, 30, 250};

class FakePlatform : public Platform, public TrafficControl {
 public:
  // Each call as "name ", or "name:value " with the value worth checking.
  std::string calls;
  std::string output;
  // What the calls that succeeded were handed, appended by call name.
  std::map<std::string, Bytes> given;
  // A call named here fails with its code: traffic-control calls, start-up
  // and the clock setting return it, socket calls -1 with it as the error.
  std::map<std::string, std::uint32_t> failures;
  int sendsBeforeFailure = 3;   // then sendTo fails with 10050
  std::deque<Bytes> datagrams;  // then receiveFrom fails with 10004
  std::uint32_t interfaceListSize = 64;  // passed back; 0 is an empty list
  // When set, listed instead, as the Linux layer lays them out (with its 122).
  std::vector<InterfaceInfo> interfaces;
  std::uint32_t localAddress = 0;  // what outgoingAddress answers

  void writeOutput(const char* text, std::size_t length) override {
    output.append(text, length);
  }
  int startup() override { return static_cast<int>(call("startup")); }
  int cleanup() override { return socketCall("cleanup"); }
  SocketHandle openUdpSocket() override {
    return socketCall("openUdpSocket", 7);  // -1 reads as kInvalidSocket
  }
  int setMulticastTtl(SocketHandle, int ttl) override {
    return socketCall("setMulticastTtl", 0, std::to_string(ttl));
  }
  int joinGroup(SocketHandle, const MulticastMembership& group) override {
    return socketCall("joinGroup", 0, "", {bytesOf(group)});
  }
  int bindSocket(SocketHandle, const SocketAddress& local) override {
    return socketCall("bindSocket", 0, "", {bytesOf(local)});
  }
  int sendTo(SocketHandle, const void* data, int length, int flags,
             const SocketAddress& to) override {
    if (sendsBeforeFailure-- <= 0) failures.emplace("sendTo", 10050);
    return socketCall("sendTo", length, std::to_string(flags),
                      {bytesOf(to), bytesOf(data, std::size_t(length))});
  }
  int receiveFrom(SocketHandle, void* buffer, int length, int, SocketAddress*,
                  int*) override;
  int shutdownSocket(SocketHandle, int how) override {
    return socketCall("shutdownSocket", 0, std::to_string(how));
  }
  int closeSocket(SocketHandle) override { return socketCall("closeSocket"); }
  int lastSocketError() override { return lastError_; }
  int lastSystemError() override { return 8; }  // never a socket error
  std::uint32_t outgoingAddress(const SocketAddress& to) override {
    call("outgoingAddress", "", {bytesOf(to)});
    return localAddress;
  }

  void getLocalTime(LocalTime* time) override { *time = kExampleTime; }
  int setLocalTime(const LocalTime& time) override {
    return static_cast<int>(call("setLocalTime", "", {bytesOf(time)}));
  }
  void sleepMilliseconds(std::uint32_t milliseconds) override {
    call("sleepMilliseconds", std::to_string(milliseconds));
  }

  TrafficControl& trafficControl() override { return *this; }
  // Handles: client 0x11, interface 0x22, flow 0x33, filter 0x44.
  std::uint32_t registerClient(std::uint32_t version, TcHandle,
                               const TcClientFuncList& list,
                               TcHandle* client) override {
    *client = 0x11;
    return call("registerClient", std::to_string(version),
                {bytesOf(list)});
  }
  std::uint32_t enumerateInterfaces(TcHandle, std::uint32_t* size,
                                    void* buffer) override;
  std::uint32_t openInterface(const char16_t* name, TcHandle, TcHandle,
                              TcHandle* ifc) override {
    const std::u16string wide(name);  // an ASCII name in the tests
    *ifc = 0x22;
    return call("openInterface", std::string(wide.begin(), wide.end()));
  }
  std::uint32_t addFlow(TcHandle, TcHandle, std::uint32_t,
                        const TcGenFlowHead* flow, TcHandle* out) override {
    *out = 0x33;
    return call("addFlow", "",
                {bytesOf(flow, sizeof *flow + flow->tcObjectsLength)});
  }
  std::uint32_t addFilter(TcHandle, const TcGenFilter& filter,
                          TcHandle* out) override {
    const std::size_t size = filter.patternSize;
    *out = 0x44;
    return call("addFilter",
                std::to_string(filter.addressType) + "/" + std::to_string(size),
                {bytesOf(filter.pattern, size), bytesOf(filter.mask, size)});
  }
  std::uint32_t deleteFilter(TcHandle h) override {
    return call("deleteFilter", std::to_string(h));
  }
  std::uint32_t deleteFlow(TcHandle h) override {
    return call("deleteFlow", std::to_string(h));
  }
  std::uint32_t closeInterface(TcHandle h) override {
    return call("closeInterface", std::to_string(h));
  }
  std::uint32_t deregisterClient(TcHandle h) override {
    return call("deregisterClient", std::to_string(h));
  }

 private:
  // Records the call and what it was handed; returns its failure code or 0.
  std::uint32_t call(const std::string& name, const std::string& value = "",
                     std::initializer_list<Bytes> records = {});
  int socketCall(const std::string& name, int success = 0,
                 const std::string& value = "",
                 std::initializer_list<Bytes> records = {});
  int lastError_ = 0;
};

}  // namespace stampcast

#endif  // STAMPCAST_TESTS_FAKE_PLATFORM_H_
