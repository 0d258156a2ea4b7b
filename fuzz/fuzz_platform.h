// The platform the fuzz targets run against: it collects console output,
// hands out scripted datagrams, records clock settings and refuses
// everything else. The targets link no backend, so that nothing they do
// can reach a socket or the real clock.
#ifndef STAMPCAST_FUZZ_FUZZ_PLATFORM_H_
#define STAMPCAST_FUZZ_FUZZ_PLATFORM_H_

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace stampcast {

class FuzzPlatform : public Platform {
 public:
  std::string output;
  // Handed out one per receive; once they are gone the receive fails.
  std::deque<std::vector<std::uint8_t>> datagrams;
  std::vector<LocalTime> clockSets;
  int receiveLength = 0;  // the buffer length of the last receive

  void writeOutput(const char* text, std::size_t length) override;
  int startup() override { return 0; }
  int cleanup() override { return 0; }
  SocketHandle openUdpSocket() override { return kInvalidSocket; }
  int setMulticastTtl(SocketHandle, int) override { return kSocketError; }
  int joinGroup(SocketHandle, const MulticastMembership&) override {
    return 0;
  }
  int bindSocket(SocketHandle, const SocketAddress&) override { return 0; }
  int sendTo(SocketHandle, const void*, int, int,
             const SocketAddress&) override {
    return kSocketError;
  }
  int receiveFrom(SocketHandle, void* buffer, int length, int flags,
                  SocketAddress* from, int* fromLength) override;
  int shutdownSocket(SocketHandle, int) override { return 0; }
  int closeSocket(SocketHandle) override { return 0; }
  int lastSocketError() override { return 0; }
  int lastSystemError() override { return 0; }
  void getLocalTime(LocalTime* time) override { *time = LocalTime{}; }
  int setLocalTime(const LocalTime& time) override;
  void sleepMilliseconds(std::uint32_t) override {}
  std::uint32_t tcRegisterClient(std::uint32_t, TcHandle,
                                 const TcClientFuncList&,
                                 TcHandle*) override {
    return kRefused;
  }
  std::uint32_t tcEnumerateInterfaces(TcHandle, std::uint32_t*,
                                      void*) override {
    return kRefused;
  }
  std::uint32_t tcOpenInterface(const char16_t*, TcHandle, TcHandle,
                                TcHandle*) override {
    return kRefused;
  }
  std::uint32_t tcAddFlow(TcHandle, TcHandle, std::uint32_t,
                          const TcGenFlowHead*, TcHandle*) override {
    return kRefused;
  }
  std::uint32_t tcAddFilter(TcHandle, const TcGenFilter&,
                            TcHandle*) override {
    return kRefused;
  }
  std::uint32_t tcDeleteFilter(TcHandle) override { return kRefused; }
  std::uint32_t tcDeleteFlow(TcHandle) override { return kRefused; }
  std::uint32_t tcCloseInterface(TcHandle) override { return kRefused; }
  std::uint32_t tcDeregisterClient(TcHandle) override { return kRefused; }

 private:
  static constexpr std::uint32_t kRefused = 50;  // "not supported"
};

}  // namespace stampcast

#endif  // STAMPCAST_FUZZ_FUZZ_PLATFORM_H_
