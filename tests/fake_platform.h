// A scripted platform for the core's tests: it records every call and all
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
  // What happened, in order: call names, and everything printed.
  std::vector<std::string> calls;
  std::string output;

  // Socket layer.
  int startupResult = 0;
  SocketHandle socketResult = 7;
  int systemError = 0;               // lastSystemError()
  std::map<std::string, int> failures;  // call name -> error when it fails
  int sendsBeforeFailure = 3;        // then sendTo fails with failures["sendTo"]
  std::deque<std::vector<std::uint8_t>> datagrams;  // then receiveFrom fails
  int lastError = 0;                 // lastSocketError()
  std::vector<std::vector<std::uint8_t>> sent;
  int ttlSet = 0;
  MulticastMembership joined{};
  SocketAddress bound{};
  SocketAddress sentTo{};
  int sendFlags = 0;

  // Clock.
  std::deque<LocalTime> times;  // getLocalTime pops; then repeats `now`
  LocalTime now{2008, 3, 1, 17, 14, 5, 30, 250};
  std::vector<LocalTime> clockSets;
  int setLocalTimeResult = 0;
  std::vector<std::uint32_t> sleeps;

  // Traffic control: results by call name (0 when absent) and out values.
  std::map<std::string, std::uint32_t> tcResults;
  std::uint32_t enumeratedSize = 0;  // size passed back by the enumeration
  std::u16string interfaceName = u"Fake Interface";
  TcHandle clientHandle = 0x11, ifcHandle = 0x22, flowHandle = 0x33,
           filterHandle = 0x44;
  std::vector<std::uint8_t> flowBytes;  // the flow head and its objects
  TcGenFilter filter{};
  IpPattern filterPattern{}, filterMask{};
  std::u16string openedName;
  std::uint32_t registeredVersion = 0;
  TcClientFuncList handlers{};  // as registered
  std::uint32_t enumerateSizeGiven = 0;  // the buffer size the caller offered
  // The handle each removal was given, by call name.
  std::map<std::string, TcHandle> removedHandles;

  void writeOutput(const char* text, std::size_t length) override;
  int startup() override;
  int cleanup() override;
  SocketHandle openUdpSocket() override;
  int setMulticastTtl(SocketHandle, int ttl) override;
  int joinGroup(SocketHandle, const MulticastMembership& membership) override;
  int bindSocket(SocketHandle, const SocketAddress& local) override;
  int sendTo(SocketHandle, const void* data, int length, int flags,
             const SocketAddress& destination) override;
  int receiveFrom(SocketHandle, void* buffer, int length, int flags,
                  SocketAddress* from, int* fromLength) override;
  int shutdownSocket(SocketHandle, int how) override;
  int closeSocket(SocketHandle) override;
  int lastSocketError() override { return lastError; }
  int lastSystemError() override { return systemError; }
  void getLocalTime(LocalTime* time) override;
  int setLocalTime(const LocalTime& time) override;
  void sleepMilliseconds(std::uint32_t milliseconds) override;
  std::uint32_t tcRegisterClient(std::uint32_t version, TcHandle,
                                 const TcClientFuncList& handlers,
                                 TcHandle* client) override;
  std::uint32_t tcEnumerateInterfaces(TcHandle, std::uint32_t* size,
                                      void* buffer) override;
  std::uint32_t tcOpenInterface(const char16_t* name, TcHandle, TcHandle,
                                TcHandle* ifc) override;
  std::uint32_t tcAddFlow(TcHandle, TcHandle, std::uint32_t,
                          const TcGenFlowHead* flow, TcHandle* out) override;
  std::uint32_t tcAddFilter(TcHandle, const TcGenFilter& filter,
                            TcHandle* out) override;
  std::uint32_t tcDeleteFilter(TcHandle) override;
  std::uint32_t tcDeleteFlow(TcHandle) override;
  std::uint32_t tcCloseInterface(TcHandle) override;
  std::uint32_t tcDeregisterClient(TcHandle) override;

 private:
  // Records a socket call; returns -1 with its error when the test made it
  // fail, else `success`.
  int socketCall(const char* name, int success = 0);
  std::uint32_t tcCall(const char* name);
  std::vector<std::uint8_t> interfaceBuffer_;
};

}  // namespace stampcast

#endif  // STAMPCAST_TESTS_FAKE_PLATFORM_H_
