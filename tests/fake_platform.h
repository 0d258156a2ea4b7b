// A scripted platform for the core's tests: it records every call and all
// output, and answers each call as the test sets it up.
#ifndef STAMPCAST_TESTS_FAKE_PLATFORM_H_
#define STAMPCAST_TESTS_FAKE_PLATFORM_H_

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/traffic_control_layer.h"

namespace stampcast {

using Bytes = std::vector<std::uint8_t>;
template <class Record>
Bytes bytesOf(const Record& record, std::size_t size = sizeof(Record)) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&record);
  return Bytes(bytes, bytes + size);
}

class FakePlatform : public Platform, public TrafficControl {
 public:
  std::string calls;   // each call as "name " or "name:value "
  std::string output;
  // What the calls that succeeded were handed, appended by call name.
  std::map<std::string, Bytes> given;
  // A call named here fails with its code: traffic-control calls, start-up
  // and the clock setting return it, socket calls -1 with it as the error.
  std::map<std::string, std::uint32_t> failures;
  std::deque<Bytes> datagrams;  // then receiveBatch fails with 10004
  std::uint32_t interfaceListSize = 64;  // passed back; 0 is an empty list
  std::vector<InterfaceInfo> interfaces;  // if any, listed by the Linux layer instead
  std::uint32_t localAddress = 0;         // what outgoingAddress answers

  void writeOutput(const char* text, std::size_t length) override { output.append(text, length), ++writes; }
  int startup() override { return int(call("startup")); }
  int cleanup() override { return socketCall("cleanup"); }
  SocketHandle openUdpSocket() override { return socketCall("openUdpSocket", 7); }
  int setMulticastTtl(SocketHandle, int ttl) override {
    return socketCall("setMulticastTtl", 0, std::to_string(ttl));
  }
  int joinGroup(SocketHandle, const MulticastMembership&) override { return socketCall("joinGroup"); }
  int bindSocket(SocketHandle, const SocketAddress&) override { return socketCall("bindSocket"); }
  int sendTo(SocketHandle, const void*, int, int, const SocketAddress&) override {
    failures.emplace("sendTo", 10050);
    return socketCall("sendTo");
  }
  int shutdownSocket(SocketHandle, int how) override {
    return socketCall("shutdownSocket", 0, std::to_string(how));
  }
  int closeSocket(SocketHandle) override { return socketCall("closeSocket"); }
  int lastSocketError() override { return lastError_; }
  int lastSystemError() override { return 8; }  // never a socket error
  std::uint32_t outgoingAddress(const SocketAddress& to) override { return call("outgoingAddress", "", bytesOf(to)) ? 0 : localAddress; }

  // Batches: a receive takes every queued datagram, up to count; a send at most 20 (a kernel may
  // stop short of the batch), then fails with 10050 once sendsBeforeFailure have gone. writes
  // counts the calls of writeOutput.
  int batchSize = kMaxBatch, sendsBeforeFailure = 0, writes = 0;
  int batchLimit() override { return batchSize; }
  int sendBatch(SocketHandle, const void* data, int length, int count, int, const SocketAddress&) override {
    const int sent = std::min({count, sendsBeforeFailure, 20});
    sendsBeforeFailure -= sent;
    if (sent == 0) failures.emplace("sendBatch", 10050);
    return socketCall("sendBatch", sent, std::to_string(count), bytesOf(*static_cast<const char*>(data), sent * length));
  }
  int receiveBatch(SocketHandle, void* slots, int length, int count, int* lengths) override;

  LocalTime clock{2008, 3, 1, 17, 14, 5, 30, 250};  // a millisecond on at each reading
  void getLocalTime(LocalTime* time) override { *time = clock, ++clock.milliseconds; }
  int setLocalTime(const LocalTime& time) override {
    return int(call("setLocalTime", "", bytesOf(time)));
  }
  void sleepMilliseconds(std::uint32_t ms) override { call("sleepMilliseconds", std::to_string(ms)); }

  // Handles: client 0x11, interface 0x22, flow 0x33, filter 0x44.
  TrafficControl& trafficControl() override { return *this; }
  std::uint32_t registerClient(std::uint32_t version, TcHandle, const TcClientFuncList& list,
                               TcHandle* client) override {
    *client = 0x11;
    return call("registerClient", std::to_string(version), bytesOf(list));
  }
  std::uint32_t enumerateInterfaces(TcHandle, std::uint32_t* size, void* buffer) override;
  std::uint32_t openInterface(const char16_t* name, TcHandle, TcHandle, TcHandle* ifc) override {
    const std::u16string wide(name);  // an ASCII name in the tests
    *ifc = 0x22;
    return call("openInterface", std::string(wide.begin(), wide.end()));
  }
  std::uint32_t addFlow(TcHandle, TcHandle, std::uint32_t, const TcGenFlowHead* flow,
                        TcHandle* out) override {
    *out = 0x33;
    return call("addFlow", "", bytesOf(*flow, sizeof *flow + flow->tcObjectsLength));
  }
  std::uint32_t addFilter(TcHandle, const TcGenFilter& filter, TcHandle* out) override {
    *out = 0x44;
    Bytes both = bytesOf(*static_cast<IpPattern*>(filter.pattern)), mask = bytesOf(*static_cast<IpPattern*>(filter.mask));
    both.insert(both.end(), mask.begin(), mask.end());
    return call("addFilter", std::to_string(filter.addressType) + "/" + std::to_string(filter.patternSize), both);
  }
  std::uint32_t deleteFilter(TcHandle h) override { return call("deleteFilter", std::to_string(h)); }
  std::uint32_t deleteFlow(TcHandle h) override { return call("deleteFlow", std::to_string(h)); }
  std::uint32_t closeInterface(TcHandle h) override { return call("closeInterface", std::to_string(h)); }
  std::uint32_t deregisterClient(TcHandle h) override { return call("deregisterClient", std::to_string(h)); }

 private:
  // Records the call and what it was handed; returns its failure code or 0.
  std::uint32_t call(const std::string& name, const std::string& value = "", const Bytes& record = {});
  int socketCall(const std::string& name, int success = 0, const std::string& value = "", const Bytes& record = {}) {
    lastError_ = int(call(name, value, record));
    return lastError_ != 0 ? kSocketError : success;
  }
  int lastError_ = 0;
};

}  // namespace stampcast

#endif  // STAMPCAST_TESTS_FAKE_PLATFORM_H_
