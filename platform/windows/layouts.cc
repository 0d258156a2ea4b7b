// The program's records copy the layouts of the Windows records that the
// backend hands them over as, by pointer cast. A change on either side must
// stop the build, not corrupt a call.
#include <cstddef>

#include "platform/quality_of_service.h"
#include "platform/traffic_control.h"
#include "platform/types.h"
#include "platform/windows/windows_headers.h"

#include <tcerror.h>

namespace stampcast {
namespace windows {
namespace {

#define STAMPCAST_SAME_SIZE(ours, theirs) \
  static_assert(sizeof(ours) == sizeof(theirs), #ours " size")
#define STAMPCAST_SAME_FIELD(ours, ourField, theirs, theirField)    \
  static_assert(offsetof(ours, ourField) == offsetof(theirs, theirField) && \
                    sizeof(ours::ourField) == sizeof(theirs::theirField), \
                #ours "::" #ourField)

STAMPCAST_SAME_SIZE(SocketHandle, SOCKET);
static_assert(kInvalidSocket == INVALID_SOCKET, "invalid socket value");
static_assert(kSocketError == SOCKET_ERROR, "socket error value");
static_assert(kAddressFamilyInet == AF_INET, "IPv4 family");
static_assert(kShutdownBoth == SD_BOTH, "shutdown both ways");
static_assert(kSendDontRoute == MSG_DONTROUTE, "do-not-route flag");
static_assert(IP_MULTICAST_TTL == 10 && IP_ADD_MEMBERSHIP == 12,
              "Windows Sockets 2 option numbers");

static_assert(kAddressFamilyInet6 == AF_INET6, "IPv6 family");
STAMPCAST_SAME_SIZE(SocketAddress, sockaddr_in6);
STAMPCAST_SAME_FIELD(SocketAddress, family, sockaddr_in6, sin6_family);
STAMPCAST_SAME_FIELD(SocketAddress, port, sockaddr_in6, sin6_port);
STAMPCAST_SAME_FIELD(SocketAddress, flowInfo, sockaddr_in6, sin6_flowinfo);
STAMPCAST_SAME_FIELD(SocketAddress, address, sockaddr_in6, sin6_addr);
STAMPCAST_SAME_FIELD(SocketAddress, scope, sockaddr_in6, sin6_scope_id);

STAMPCAST_SAME_SIZE(QosHandle, HANDLE);
STAMPCAST_SAME_SIZE(QosFlowId, QOS_FLOWID);
STAMPCAST_SAME_FIELD(QosVersion, major, QOS_VERSION, MajorVersion);
STAMPCAST_SAME_FIELD(QosVersion, minor, QOS_VERSION, MinorVersion);
static_assert(qos::kTrafficTypeBestEffort == QOSTrafficTypeBestEffort &&
                  qos::kSetOutgoingDscpValue == QOSSetOutgoingDSCPValue &&
                  qos::kQueryPacketPriority == QOSQueryPacketPriority,
              "qWAVE constants");
STAMPCAST_SAME_SIZE(QosPacketPriority, QOS_PACKET_PRIORITY);

STAMPCAST_SAME_SIZE(MulticastMembership, ip_mreq);
STAMPCAST_SAME_FIELD(MulticastMembership, group, ip_mreq, imr_multiaddr);
STAMPCAST_SAME_FIELD(MulticastMembership, interfaceAddress, ip_mreq,
                     imr_interface);

STAMPCAST_SAME_SIZE(LocalTime, SYSTEMTIME);
STAMPCAST_SAME_FIELD(LocalTime, year, SYSTEMTIME, wYear);
STAMPCAST_SAME_FIELD(LocalTime, month, SYSTEMTIME, wMonth);
STAMPCAST_SAME_FIELD(LocalTime, dayOfWeek, SYSTEMTIME, wDayOfWeek);
STAMPCAST_SAME_FIELD(LocalTime, day, SYSTEMTIME, wDay);
STAMPCAST_SAME_FIELD(LocalTime, hour, SYSTEMTIME, wHour);
STAMPCAST_SAME_FIELD(LocalTime, minute, SYSTEMTIME, wMinute);
STAMPCAST_SAME_FIELD(LocalTime, second, SYSTEMTIME, wSecond);
STAMPCAST_SAME_FIELD(LocalTime, milliseconds, SYSTEMTIME, wMilliseconds);

STAMPCAST_SAME_SIZE(TcHandle, HANDLE);
static_assert(tc::kCurrentVersion == CURRENT_TCI_VERSION, "TCI version");
static_assert(tc::kNotSpecified == QOS_NOT_SPECIFIED, "not specified");
static_assert(tc::kObjectTypeDsClass == QOS_OBJECT_DS_CLASS, "DS class");
static_assert(tc::kObjectTypeEndOfList == QOS_OBJECT_END_OF_LIST,
              "end of list");
static_assert(tc::kAddressTypeIp == NDIS_PROTOCOL_ID_TCP_IP, "IP filter");

// The result codes that the program and the Linux emulation name, and the
// service type and protocol that the flow and the filter carry.
static_assert(tc::kSuccess == NO_ERROR, "success");
static_assert(tc::kInvalidHandle == ERROR_INVALID_HANDLE, "invalid handle");
static_assert(tc::kInvalidParameter == ERROR_INVALID_PARAMETER,
              "invalid parameter");
static_assert(tc::kInsufficientBuffer == ERROR_INSUFFICIENT_BUFFER,
              "insufficient buffer");
static_assert(tc::kNotFound == ERROR_NOT_FOUND, "not found");
static_assert(tc::kInvalidServiceType == ERROR_INVALID_SERVICE_TYPE,
              "invalid service type");
static_assert(tc::kInvalidTokenRate == ERROR_INVALID_TOKEN_RATE,
              "invalid token rate");
static_assert(tc::kDuplicateFilter == ERROR_DUPLICATE_FILTER,
              "duplicate filter");
static_assert(tc::kObjectsStillPresent == ERROR_TC_SUPPORTED_OBJECTS_EXIST,
              "objects still present");
static_assert(tc::kTcObjectLength == ERROR_TC_OBJECT_LENGTH_INVALID,
              "object length");
static_assert(tc::kInvalidDsClass == ERROR_INVALID_DS_CLASS,
              "invalid DS class");
static_assert(tc::kServiceTypeGuaranteed == SERVICETYPE_GUARANTEED,
              "guaranteed service");
static_assert(tc::kProtocolUdp == IPPROTO_UDP, "UDP");
static_assert(tc::kNotifyInterfaceClose == TC_NOTIFY_IFC_CLOSE &&
                  tc::kNotifyFlowClose == TC_NOTIFY_FLOW_CLOSE,
              "closing notifications");

STAMPCAST_SAME_SIZE(TcClientFuncList, TCI_CLIENT_FUNC_LIST);
STAMPCAST_SAME_FIELD(TcClientFuncList, notifyHandler, TCI_CLIENT_FUNC_LIST,
                     ClNotifyHandler);
STAMPCAST_SAME_FIELD(TcClientFuncList, addFlowCompleteHandler,
                     TCI_CLIENT_FUNC_LIST, ClAddFlowCompleteHandler);
STAMPCAST_SAME_FIELD(TcClientFuncList, modifyFlowCompleteHandler,
                     TCI_CLIENT_FUNC_LIST, ClModifyFlowCompleteHandler);
STAMPCAST_SAME_FIELD(TcClientFuncList, deleteFlowCompleteHandler,
                     TCI_CLIENT_FUNC_LIST, ClDeleteFlowCompleteHandler);

STAMPCAST_SAME_SIZE(FlowSpec, FLOWSPEC);
STAMPCAST_SAME_FIELD(FlowSpec, tokenRate, FLOWSPEC, TokenRate);
STAMPCAST_SAME_FIELD(FlowSpec, tokenBucketSize, FLOWSPEC, TokenBucketSize);
STAMPCAST_SAME_FIELD(FlowSpec, peakBandwidth, FLOWSPEC, PeakBandwidth);
STAMPCAST_SAME_FIELD(FlowSpec, latency, FLOWSPEC, Latency);
STAMPCAST_SAME_FIELD(FlowSpec, delayVariation, FLOWSPEC, DelayVariation);
STAMPCAST_SAME_FIELD(FlowSpec, serviceType, FLOWSPEC, ServiceType);
STAMPCAST_SAME_FIELD(FlowSpec, maxSduSize, FLOWSPEC, MaxSduSize);
STAMPCAST_SAME_FIELD(FlowSpec, minimumPolicedSize, FLOWSPEC,
                     MinimumPolicedSize);

STAMPCAST_SAME_SIZE(QosObjectHeader, QOS_OBJECT_HDR);
STAMPCAST_SAME_FIELD(QosObjectHeader, objectType, QOS_OBJECT_HDR, ObjectType);
STAMPCAST_SAME_FIELD(QosObjectHeader, objectLength, QOS_OBJECT_HDR,
                     ObjectLength);
STAMPCAST_SAME_SIZE(QosDsClass, QOS_DS_CLASS);
STAMPCAST_SAME_FIELD(QosDsClass, header, QOS_DS_CLASS, ObjectHdr);
STAMPCAST_SAME_FIELD(QosDsClass, dsField, QOS_DS_CLASS, DSField);

// TC_GEN_FLOW declares one object in place; the head ends where it begins.
STAMPCAST_SAME_FIELD(TcGenFlowHead, sendingFlowspec, TC_GEN_FLOW,
                     SendingFlowspec);
STAMPCAST_SAME_FIELD(TcGenFlowHead, receivingFlowspec, TC_GEN_FLOW,
                     ReceivingFlowspec);
STAMPCAST_SAME_FIELD(TcGenFlowHead, tcObjectsLength, TC_GEN_FLOW,
                     TcObjectsLength);
static_assert(offsetof(TC_GEN_FLOW, TcObjects) == 68 &&
                  sizeof(TcGenFlowHead) == 68,
              "the flow's objects start at offset 68");

STAMPCAST_SAME_SIZE(TcGenFilter, TC_GEN_FILTER);
STAMPCAST_SAME_FIELD(TcGenFilter, addressType, TC_GEN_FILTER, AddressType);
STAMPCAST_SAME_FIELD(TcGenFilter, patternSize, TC_GEN_FILTER, PatternSize);
STAMPCAST_SAME_FIELD(TcGenFilter, pattern, TC_GEN_FILTER, Pattern);
STAMPCAST_SAME_FIELD(TcGenFilter, mask, TC_GEN_FILTER, Mask);

STAMPCAST_SAME_SIZE(IpPattern, IP_PATTERN);
STAMPCAST_SAME_FIELD(IpPattern, reserved1, IP_PATTERN, Reserved1);
STAMPCAST_SAME_FIELD(IpPattern, reserved2, IP_PATTERN, Reserved2);
STAMPCAST_SAME_FIELD(IpPattern, srcAddr, IP_PATTERN, SrcAddr);
STAMPCAST_SAME_FIELD(IpPattern, dstAddr, IP_PATTERN, DstAddr);
static_assert(offsetof(IpPattern, srcPort) == offsetof(IP_PATTERN, S_un) &&
                  offsetof(IpPattern, dstPort) ==
                      offsetof(IP_PATTERN, S_un) + sizeof(USHORT),
              "IP_PATTERN ports");
STAMPCAST_SAME_FIELD(IpPattern, protocolId, IP_PATTERN, ProtocolId);
STAMPCAST_SAME_FIELD(IpPattern, reserved3, IP_PATTERN, Reserved3);

STAMPCAST_SAME_FIELD(TcInterfaceDescriptor, length, TC_IFC_DESCRIPTOR, Length);
STAMPCAST_SAME_FIELD(TcInterfaceDescriptor, interfaceName, TC_IFC_DESCRIPTOR,
                     pInterfaceName);
STAMPCAST_SAME_FIELD(TcInterfaceDescriptor, interfaceId, TC_IFC_DESCRIPTOR,
                     pInterfaceID);
// The address list behind the head, read when the interface is chosen.
static_assert(offsetof(TC_IFC_DESCRIPTOR, AddressListDesc) ==
                  sizeof(TcInterfaceDescriptor),
              "the address list follows the head");
static_assert(offsetof(TC_IFC_DESCRIPTOR, AddressListDesc) +
                      offsetof(ADDRESS_LIST_DESCRIPTOR, AddressList) +
                      offsetof(NETWORK_ADDRESS_LIST, AddressCount) ==
                  kAddressCountOffset,
              "address count");
static_assert(offsetof(TC_IFC_DESCRIPTOR, AddressListDesc) +
                      offsetof(ADDRESS_LIST_DESCRIPTOR, AddressList) +
                      offsetof(NETWORK_ADDRESS_LIST, Address) ==
                  kFirstAddressOffset,
              "first address");
STAMPCAST_SAME_FIELD(NetworkAddressHead, addressLength, NETWORK_ADDRESS,
                     AddressLength);
STAMPCAST_SAME_FIELD(NetworkAddressHead, addressType, NETWORK_ADDRESS,
                     AddressType);
static_assert(offsetof(NETWORK_ADDRESS, Address) == sizeof(NetworkAddressHead),
              "the address follows its head");
STAMPCAST_SAME_SIZE(NetworkAddressIp, NETWORK_ADDRESS_IP);
STAMPCAST_SAME_FIELD(NetworkAddressIp, port, NETWORK_ADDRESS_IP, sin_port);
STAMPCAST_SAME_FIELD(NetworkAddressIp, address, NETWORK_ADDRESS_IP, in_addr);
STAMPCAST_SAME_FIELD(NetworkAddressIp, zero, NETWORK_ADDRESS_IP, sin_zero);
static_assert(sizeof(char16_t) == sizeof(WCHAR), "wide characters");
static_assert(sizeof(std::uint32_t) == sizeof(ULONG), "ULONG is 32 bits");

#undef STAMPCAST_SAME_FIELD
#undef STAMPCAST_SAME_SIZE

}  // namespace
}  // namespace windows
}  // namespace stampcast
