// A scripted platform for the core's tests: it records the socket and clock
// calls and all output, and answers each call as the test sets it up.
// Traffic control is the emulated one, over one interface.
#ifndef STAMPCAST_TESTS_FAKE_PLATFORM_H_
#define STAMPCAST_TESTS_FAKE_PLATFORM_H_

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/common/emulated_traffic_control.h"

namespace stampcast {

using Bytes = std::vector<std::uint8_t>;

class FakePlatform : public Platform,
                     public MulticastOptions,
                     public StopRequests,
                     public HostNetwork,
                     public SystemClock,
                     public QualityOfService {
 public:
  std::string calls;  // each call as "name " or "name:value "
  std::string output;
  int writes = 0;     // calls of writeOutput
  // What the calls that succeeded were handed, appended by call name.
  std::map<std::string, Bytes> given;
  // A call named here fails with its code: start-up and the clock setting
  // return it, socket calls -1 with it as the error.
  std::map<std::string, int> failures;
  // Then receiveBatch fails with 10004, or with stopAtEnd a stop is
  // requested instead. Each arrives with nothing told (tos, ttl, time 0).
  std::deque<Bytes> datagrams;
  bool stopAtEnd = false;
  std::vector<HostInterface> interfaces;  // none: the list cannot be read
  std::uint32_t outgoing = 0;             // the route's source towards a group
  // A receive takes every queued datagram, up to the batch; a send at most
  // 20 (a kernel may stop short), then fails with 10050 once
  // sendsBeforeFailure have gone.
  int batchSize = kMaxBatch, sendsBeforeFailure = 0;
  LocalTime clock{2008, 3, 1, 17, 14, 5, 30, 250};  // a millisecond on at each reading

  bool writeOutput(const char* text, std::size_t length) override {
    output.append(text, length);
    ++writes;
    return true;
  }
  bool outputEndsMidLine() override { return false; }
  int startup() override { return call("startup"); }
  int cleanup() override { return socketCall("cleanup"); }
  SocketHandle openUdpSocket(std::uint16_t) override { return socketCall("openUdpSocket", 7); }
  int setHopLimit(SocketHandle, std::uint16_t, int hops) override {
    return socketCall("setMulticastTtl:" + std::to_string(hops));
  }
  int joinGroup(SocketHandle, const GroupJoin&) override { return socketCall("joinGroup"); }
  int bindSocket(SocketHandle, const SocketAddress&) override { return socketCall("bindSocket"); }
  int sendTo(SocketHandle, const void*, int, int, const SocketAddress&) override { return socketCall("sendTo"); }
  int shutdownSocket(SocketHandle, int) override { return socketCall("shutdownSocket"); }
  int closeSocket(SocketHandle) override { return socketCall("closeSocket"); }
  int lastSocketError() override { return lastError_; }
  int lastSystemError() override { return 8; }  // never a socket error
  std::uint32_t outgoingAddress(const SocketAddress&) override { return outgoing; }
  bool listInterfaces(std::vector<HostInterface>* list) override {
    *list = interfaces;
    return !interfaces.empty();
  }
  int setMulticastInterface(SocketHandle, std::uint16_t, unsigned, std::uint32_t) override {
    return socketCall("setMulticastInterface");
  }
  int batchLimit() override { return batchSize; }
  int sendBatch(SocketHandle, const void* data, int length, int count, int, const SocketAddress&) override;
  int receiveBatch(SocketHandle, void* slots, int length, int count, int* lengths, Arrival* arrived) override;
  ArrivalRefusals enableArrivals(SocketHandle, std::uint16_t) override { return {}; }
  void catchStopRequests() override { call("catchStopRequests"); }
  void ignoreStopRequests() override {}
  bool stopRequested() override { return stopped_; }
  std::int64_t steadyNanoseconds() override { return steady += 1000000; }
  void setReceiveDeadline(std::int64_t) override {}
  std::int64_t steady = 0;  // a millisecond on at each reading
  void getLocalTime(LocalTime* time) { *time = clock, ++clock.milliseconds; }
  void readClock(LocalTime* local, std::int64_t* utc) override {
    *utc = 1205762730000000000 + clock.milliseconds * 1000000LL;  // 2008-03-17 14:05:30 UTC
    getLocalTime(local);
  }
  int setLocalTime(const LocalTime& time) override {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&time);
    return call("setLocalTime", Bytes(bytes, bytes + sizeof time));
  }
  void sleepMilliseconds(std::uint32_t ms) override { call("sleepMilliseconds:" + std::to_string(ms)); }
  // The wait moves the steady clock to its end.
  void sleepUntil(std::int64_t until) override {
    if (until > steady) steady = until;
  }
  MulticastOptions& multicast() override { return *this; }
  StopRequests& stops() override { return *this; }
  HostNetwork& hostNetwork() override { return *this; }
  SystemClock& systemClock() override { return *this; }
  TrafficControl& trafficControl() override { return tc_; }
  QualityOfService& qualityOfService() override { return *this; }
  // qWAVE refuses every call: no unit test marks an IPv6 group.
  bool createHandle(const QosVersion&, QosHandle*) override { return false; }
  bool addSocketToFlow(QosHandle, SocketHandle, const SocketAddress&, int, std::uint32_t,
                       QosFlowId*) override {
    return false;
  }
  bool setFlow(QosHandle, QosFlowId, int, std::uint32_t, const void*) override { return false; }
  bool queryFlow(QosHandle, QosFlowId, int, std::uint32_t, void*) override { return false; }
  bool removeSocketFromFlow(QosHandle, SocketHandle, QosFlowId, std::uint32_t) override {
    return false;
  }
  bool closeHandle(QosHandle) override { return false; }

 private:
  // Records the call and what it was handed; returns its failure code or 0.
  int call(const std::string& name, const Bytes& record = {});
  int socketCall(const std::string& name, int success = 0, const Bytes& record = {}) {
    lastError_ = call(name, record);
    return lastError_ != 0 ? kSocketError : success;
  }
  int lastError_ = 0;
  bool stopped_ = false;
  EmulatedTrafficControl tc_{[] { return std::vector<InterfaceInfo>{{"fake0", 1, 0}}; }};
};

}  // namespace stampcast

#endif  // STAMPCAST_TESTS_FAKE_PLATFORM_H_
