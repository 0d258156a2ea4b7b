// The records of the traffic-control interface, laid out as the Windows
// Traffic Control API lays them out, so that the Windows backend passes them
// on unchanged and the POSIX backend's emulation reads the same bytes.
#ifndef STAMPCAST_PLATFORM_TRAFFIC_CONTROL_H_
#define STAMPCAST_PLATFORM_TRAFFIC_CONTROL_H_

#include <cstddef>
#include <cstdint>

namespace stampcast {

// A traffic-control handle (HANDLE: pointer-sized).
using TcHandle = std::uintptr_t;

// Result codes of the traffic-control calls that the program or the
// emulation names (system error codes).
namespace tc {
inline constexpr std::uint32_t kSuccess = 0;
inline constexpr std::uint32_t kInvalidHandle = 6;
inline constexpr std::uint32_t kInvalidParameter = 87;
inline constexpr std::uint32_t kInsufficientBuffer = 122;
inline constexpr std::uint32_t kNotFound = 1168;
inline constexpr std::uint32_t kInvalidServiceType = 7502;
inline constexpr std::uint32_t kInvalidTokenRate = 7503;
inline constexpr std::uint32_t kDuplicateFilter = 7509;
inline constexpr std::uint32_t kObjectsStillPresent = 7512;
inline constexpr std::uint32_t kTcObjectLength = 7515;
inline constexpr std::uint32_t kInvalidDsClass = 7520;

inline constexpr std::uint32_t kCurrentVersion = 2;
inline constexpr std::uint32_t kNotSpecified = 0xFFFFFFFF;
inline constexpr std::uint32_t kServiceTypeGuaranteed = 3;
inline constexpr std::uint32_t kObjectTypeDsClass = 4001;
inline constexpr std::uint32_t kObjectTypeEndOfList = 2001;
inline constexpr std::uint16_t kAddressTypeIp = 2;
// The emulation's own IPv6 filter form (Ip6Pattern), which Windows' traffic
// control does not have: an IPv6 group is marked through qWAVE there.
inline constexpr std::uint16_t kAddressTypeIp6 = 0x86DD;
inline constexpr std::uint8_t kProtocolUdp = 17;
// Notifications: the service has closed an interface, or a flow.
inline constexpr std::uint32_t kNotifyInterfaceClose = 2;
inline constexpr std::uint32_t kNotifyFlowClose = 5;
}  // namespace tc

// Client handler list (TCI_CLIENT_FUNC_LIST).
using TcNotifyHandler = void (*)(TcHandle clientContext, TcHandle ifcContext,
                                 std::uint32_t event, TcHandle subCode,
                                 std::uint32_t bufferSize, void* buffer);
struct TcClientFuncList {
  TcNotifyHandler notifyHandler;
  void* addFlowCompleteHandler;
  void* modifyFlowCompleteHandler;
  void* deleteFlowCompleteHandler;
};

// FLOWSPEC.
struct FlowSpec {
  std::uint32_t tokenRate;
  std::uint32_t tokenBucketSize;
  std::uint32_t peakBandwidth;
  std::uint32_t latency;
  std::uint32_t delayVariation;
  std::uint32_t serviceType;
  std::uint32_t maxSduSize;
  std::uint32_t minimumPolicedSize;
};
static_assert(sizeof(FlowSpec) == 32, "FLOWSPEC is 32 bytes");

// QOS_OBJECT_HDR, and the DS-class object (QOS_DS_CLASS) built on it.
struct QosObjectHeader {
  std::uint32_t objectType;
  std::uint32_t objectLength;
};
struct QosDsClass {
  QosObjectHeader header;
  std::uint32_t dsField;
};
static_assert(sizeof(QosDsClass) == 12, "QOS_DS_CLASS is 12 bytes");

// The fixed head of TC_GEN_FLOW. The traffic-control objects follow it
// directly in memory (at offset 68), tcObjectsLength bytes of them.
struct TcGenFlowHead {
  FlowSpec sendingFlowspec;
  FlowSpec receivingFlowspec;
  std::uint32_t tcObjectsLength;
};
static_assert(sizeof(TcGenFlowHead) == 68, "objects start at offset 68");

// IP_PATTERN: the pattern and the mask of an IP filter.
struct IpPattern {
  std::uint32_t reserved1;
  std::uint32_t reserved2;
  std::uint32_t srcAddr;
  std::uint32_t dstAddr;
  std::uint16_t srcPort;
  std::uint16_t dstPort;
  std::uint8_t protocolId;
  std::uint8_t reserved3[3];
};
static_assert(sizeof(IpPattern) == 24, "IP_PATTERN is 24 bytes");

// The IPv6 form of a filter's pattern and mask, the emulation's own.
struct Ip6Pattern {
  std::uint8_t srcAddr[16];
  std::uint8_t dstAddr[16];
  std::uint16_t srcPort;
  std::uint16_t dstPort;
  std::uint8_t protocolId;
  std::uint8_t reserved[3];
};
static_assert(sizeof(Ip6Pattern) == 40, "the IPv6 pattern is 40 bytes");

// TC_GEN_FILTER.
struct TcGenFilter {
  std::uint16_t addressType;
  std::uint32_t patternSize;
  void* pattern;
  void* mask;
};

// The head of TC_IFC_DESCRIPTOR; the address list follows it. The name and
// the identifier are wide strings that the enumeration lays out inside the
// caller's buffer.
struct TcInterfaceDescriptor {
  std::uint32_t length;  // bytes of this descriptor, strings included
  char16_t* interfaceName;
  char16_t* interfaceId;
};

// The address list behind the descriptor head (ADDRESS_LIST_DESCRIPTOR):
// a 32-bit media type, a 32-bit address count and a 16-bit address type,
// then the addresses one after the other, each a NETWORK_ADDRESS: a 16-bit
// length and a 16-bit type, then `length` bytes of address. An IPv4 address
// (type 2) is a NETWORK_ADDRESS_IP.
inline constexpr std::size_t kAddressCountOffset =
    sizeof(TcInterfaceDescriptor) + 4;
inline constexpr std::size_t kFirstAddressOffset =
    sizeof(TcInterfaceDescriptor) + 10;
struct NetworkAddressHead {
  std::uint16_t addressLength;  // of the bytes that follow this head
  std::uint16_t addressType;
};
struct NetworkAddressIp {
  std::uint16_t port;
  std::uint32_t address;  // network order
  std::uint8_t zero[8];
};
static_assert(sizeof(NetworkAddressIp) == 16, "NETWORK_ADDRESS_IP is 16 bytes");

// The traffic-control service: the calls of the Windows Traffic Control API
// that the program makes. Each returns 0 or a system error code.
class TrafficControl {
 public:
  virtual ~TrafficControl() = default;
  virtual std::uint32_t registerClient(std::uint32_t version,
                                       TcHandle clientContext,
                                       const TcClientFuncList& handlers,
                                       TcHandle* clientHandle) = 0;
  virtual std::uint32_t enumerateInterfaces(TcHandle clientHandle,
                                            std::uint32_t* bufferSize,
                                            void* buffer) = 0;
  virtual std::uint32_t openInterface(const char16_t* interfaceName,
                                      TcHandle clientHandle,
                                      TcHandle ifcContext,
                                      TcHandle* ifcHandle) = 0;
  // The flow's traffic-control objects follow *flow in memory.
  virtual std::uint32_t addFlow(TcHandle ifcHandle, TcHandle flowContext,
                                std::uint32_t flags, const TcGenFlowHead* flow,
                                TcHandle* flowHandle) = 0;
  virtual std::uint32_t addFilter(TcHandle flowHandle,
                                  const TcGenFilter& filter,
                                  TcHandle* filterHandle) = 0;
  virtual std::uint32_t deleteFilter(TcHandle filterHandle) = 0;
  virtual std::uint32_t deleteFlow(TcHandle flowHandle) = 0;
  virtual std::uint32_t closeInterface(TcHandle ifcHandle) = 0;
  virtual std::uint32_t deregisterClient(TcHandle clientHandle) = 0;
};

}  // namespace stampcast

#endif  // STAMPCAST_PLATFORM_TRAFFIC_CONTROL_H_
