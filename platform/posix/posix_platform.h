// The platform on Linux and other POSIX hosts.
#ifndef STAMPCAST_PLATFORM_POSIX_POSIX_PLATFORM_H_
#define STAMPCAST_PLATFORM_POSIX_POSIX_PLATFORM_H_

#include <ctime>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/traffic_control_layer.h"

namespace stampcast {
namespace posix {

class PosixPlatform final : public Platform {
 public:
  PosixPlatform() = default;
  explicit PosixPlatform(TrafficControlLayer::InterfaceLister lister)
      : tc_(std::move(lister)) {}

  void writeOutput(const char* text, std::size_t length) override;

  int startup() override;
  int cleanup() override;
  SocketHandle openUdpSocket() override;
  int setMulticastTtl(SocketHandle socket, int ttl) override;
  int joinGroup(SocketHandle socket,
                const MulticastMembership& membership) override;
  int bindSocket(SocketHandle socket, const SocketAddress& local) override;
  int sendTo(SocketHandle socket, const void* data, int length, int flags,
             const SocketAddress& destination) override;
  int receiveFrom(SocketHandle socket, void* buffer, int length, int flags,
                  SocketAddress* from, int* fromLength) override;
  int shutdownSocket(SocketHandle socket, int how) override;
  int closeSocket(SocketHandle socket) override;
  int lastSocketError() override { return lastSocketError_; }
  int lastSystemError() override;

  void getLocalTime(LocalTime* time) override;
  int setLocalTime(const LocalTime& time) override;
  void sleepMilliseconds(std::uint32_t milliseconds) override;

  std::uint32_t tcRegisterClient(std::uint32_t version, TcHandle clientContext,
                                 const TcClientFuncList& handlers,
                                 TcHandle* clientHandle) override;
  std::uint32_t tcEnumerateInterfaces(TcHandle clientHandle,
                                      std::uint32_t* bufferSize,
                                      void* buffer) override;
  std::uint32_t tcOpenInterface(const char16_t* interfaceName,
                                TcHandle clientHandle, TcHandle ifcContext,
                                TcHandle* ifcHandle) override;
  std::uint32_t tcAddFlow(TcHandle ifcHandle, TcHandle flowContext,
                          std::uint32_t flags, const TcGenFlowHead* flow,
                          TcHandle* flowHandle) override;
  std::uint32_t tcAddFilter(TcHandle flowHandle, const TcGenFilter& filter,
                            TcHandle* filterHandle) override;
  std::uint32_t tcDeleteFilter(TcHandle filterHandle) override;
  std::uint32_t tcDeleteFlow(TcHandle flowHandle) override;
  std::uint32_t tcCloseInterface(TcHandle ifcHandle) override;
  std::uint32_t tcDeregisterClient(TcHandle clientHandle) override;

 private:
  // Records the outcome of a socket call: 0 after success, errno after
  // failure, as the socket layer's last error.
  int settle(int result);
  // Gives the socket the DS field that traffic control asks for.
  void applyMarking(int socket, std::uint32_t destination);

  TrafficControlLayer tc_;
  // The local calendar fields of the second last read by getLocalTime.
  time_t cachedSecond_ = -1;
  tm cachedLocal_{};
  bool timerSlackSet_ = false;
  int lastSocketError_ = 0;
  // The TOS byte each socket carries now, by descriptor, to change it only
  // when it differs.
  std::vector<int> socketTos_;
};

}  // namespace posix
}  // namespace stampcast

#endif  // STAMPCAST_PLATFORM_POSIX_POSIX_PLATFORM_H_
