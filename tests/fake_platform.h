// A scripted platform for the core's tests: it records the calls and all
// output, and answers each call as the test sets it up.
#ifndef STAMPCAST_TESTS_FAKE_PLATFORM_H_
#define STAMPCAST_TESTS_FAKE_PLATFORM_H_

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace stampcast {

class FakePlatform : public Platform {
 public:
  std::vector<std::string> calls;  // call names, in order
  std::string output;

  // A call named in `failures` fails with that code: traffic-control calls,
  // start-up and the clock setting return it, socket calls -1 with it as the
  // socket error.
  std::map<std::string, std::uint32_t> failures;
  int sendsBeforeFailure = 3, sendError = 10050;  // then sendTo fails
  std::deque<std::vector<std::uint8_t>> datagrams;  // then receiveFrom fails
  std::vector<std::vector<std::uint8_t>> sent;
  int ttlSet = 0, sendFlags = 0;
  SocketAddress bound{}, sentTo{};
  MulticastMembership joined{};

  // Clock: getLocalTime takes `times` in turn, then gives `now`.
  std::deque<LocalTime> times;
  LocalTime now{2008, 3, 1, 17, 14, 5, 30, 250};
  std::vector<LocalTime> clockSets;
  std::vector<std::uint32_t> sleeps;

  // Traffic control: what the calls were given. A passed-back size above 0
  // lays out one interface.
  std::uint32_t enumeratedSize = 0, enumerateSizeGiven = 0;
  TcHandle ifcHandle = 0x22;  // client 0x11, flow 0x33, filter 0x44
  std::uint32_t registeredVersion = 0;
  TcClientFuncList handlers{};
  std::u16string openedName;
  std::vector<std::uint8_t> flowBytes;  // the head and its objects
  TcGenFilter filter{};
  std::vector<TcHandle> removed;  // by the four removals, in order

  void writeOutput(const char* text, std::size_t length) override {
    output.append(text, length);
  }
  int startup() override { return socketCall("startup") ? lastError_ : 0; }
  int cleanup() override { return socketCall("cleanup"); }
  SocketHandle openUdpSocket() override {
    return socketCall("openUdpSocket", 7);
  }
  int setMulticastTtl(SocketHandle, int ttl) override {
    ttlSet = ttl;
    return socketCall("setMulticastTtl");
  }
  int joinGroup(SocketHandle, const MulticastMembership& group) override {
    joined = group;
    return socketCall("joinGroup");
  }
  int bindSocket(SocketHandle, const SocketAddress& local) override {
    bound = local;
    return socketCall("bindSocket");
  }
  int sendTo(SocketHandle, const void* data, int length, int flags,
             const SocketAddress& destination) override;
  int receiveFrom(SocketHandle, void* buffer, int length, int, SocketAddress*,
                  int*) override;
  int shutdownSocket(SocketHandle, int) override {
    return socketCall("shutdownSocket");
  }
  int closeSocket(SocketHandle) override { return socketCall("closeSocket"); }
  int lastSocketError() override { return lastError_; }
  int lastSystemError() override { return 0; }

  void getLocalTime(LocalTime* time) override;
  int setLocalTime(const LocalTime& time) override {
    clockSets.push_back(time);
    return socketCall("setLocalTime") ? lastError_ : 0;
  }
  void sleepMilliseconds(std::uint32_t milliseconds) override {
    calls.push_back("sleepMilliseconds");
    sleeps.push_back(milliseconds);
  }

  std::uint32_t tcRegisterClient(std::uint32_t version, TcHandle,
                                 const TcClientFuncList& given,
                                 TcHandle* client) override {
    registeredVersion = version;
    handlers = given;
    *client = 0x11;
    return tcCall("tcRegisterClient");
  }
  std::uint32_t tcEnumerateInterfaces(TcHandle, std::uint32_t* size,
                                      void* buffer) override;
  std::uint32_t tcOpenInterface(const char16_t* name, TcHandle, TcHandle,
                                TcHandle* ifc) override {
    openedName = name;
    *ifc = ifcHandle;
    return tcCall("tcOpenInterface");
  }
  std::uint32_t tcAddFlow(TcHandle, TcHandle, std::uint32_t,
                          const TcGenFlowHead* flow, TcHandle* out) override;
  std::uint32_t tcAddFilter(TcHandle, const TcGenFilter& given,
                            TcHandle* out) override {
    filter = given;
    *out = 0x44;
    return tcCall("tcAddFilter");
  }
  std::uint32_t tcDeleteFilter(TcHandle h) override {
    return tcCall("tcDeleteFilter", h);
  }
  std::uint32_t tcDeleteFlow(TcHandle h) override {
    return tcCall("tcDeleteFlow", h);
  }
  std::uint32_t tcCloseInterface(TcHandle h) override {
    return tcCall("tcCloseInterface", h);
  }
  std::uint32_t tcDeregisterClient(TcHandle h) override {
    return tcCall("tcDeregisterClient", h);
  }

 private:
  int socketCall(const char* name, int success = 0);
  // Records a traffic-control call and, for a removal, its handle.
  std::uint32_t tcCall(const char* name);
  std::uint32_t tcCall(const char* name, TcHandle removedHandle) {
    removed.push_back(removedHandle);
    return tcCall(name);
  }
  int lastError_ = 0;
};

}  // namespace stampcast

#endif  // STAMPCAST_TESTS_FAKE_PLATFORM_H_
