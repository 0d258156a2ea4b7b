#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "marking/marking.h"
#include "tests/fake_platform.h"

namespace stampcast {
namespace {

// The records as traffic control gets them. A destination that is no
// address and a code point out of range are passed on for it to refuse.
TEST(SetupMarking, HandsOverTheHandlersFlowAndFilterItFilled) {
  for (const char* address : {"239.2.2.2", "not.an.address"}) {
    FakePlatform platform;
    RunConfig config;
    config.destAddress = address;
    config.dscpValue = address[0] == '2' ? 46 : 99;
    MarkingHandles handles;
    ASSERT_TRUE(setupMarking(config, platform, handles));
    EXPECT_EQ(platform.output + platform.calls,
              "registerClient:2 enumerateInterfaces:336 outgoingAddress openInterface:fake0 addFlow addFilter:2/24 ");
    // A notification handler and no completion handler: every call
    // completes before it returns.
    TcClientFuncList handlers;
    std::memcpy(&handlers, platform.given["registerClient"].data(), sizeof handlers);
    EXPECT_TRUE(handlers.notifyHandler && !handlers.addFlowCompleteHandler &&
                !handlers.modifyFlowCompleteHandler && !handlers.deleteFlowCompleteHandler);
    const std::uint32_t kNone = 0xFFFFFFFF, dscp = std::uint32_t(config.dscpValue);
    const std::uint32_t flow[] = {10000, kNone, kNone, kNone, kNone, 3, kNone, kNone,
                                  kNone, kNone, kNone, kNone, kNone, 3, kNone, kNone,
                                  20,    4001,  12,    dscp,  2001,  8};
    EXPECT_EQ(platform.given["addFlow"], bytesOf(flow));
    IpPattern filter[2] = {};  // the pattern, then the mask
    filter[0].dstAddr = inetAddr(address);
    filter[0].protocolId = 17;
    filter[1].dstAddr = 0xFFFFFFFF;
    EXPECT_EQ(platform.given["addFilter"], bytesOf(filter));
    EXPECT_EQ(platform.given["outgoingAddress"], bytesOf(SocketAddress{2, hostToNetwork16(1234), filter[0].dstAddr, {}}));
  }
}

// Registration, enumeration and open report in hexadecimal; flow and filter
// in decimal with the interface handle. Only an empty list goes on.
TEST(SetupMarking, EachFailureIsReportedAndEndsTheSetup) {
  const std::string kHandle = "Handle was 34\n";
  const struct {
    std::string call;
    std::uint32_t result, listSize;
    long callsMade;
    std::string output;
  } cases[] = {
      {"registerClient", 87, 64, 1, "TcRegisterClient returned 0x57\n"},
      {"enumerateInterfaces", 6, 64, 2,
       "The client handle is invalid.\nTcEnumerateInterfaces returned 0x6\n"},
      {"enumerateInterfaces", 122, 1040, 3,
       "The buffer is too small to enumerate all interfaces. If this error is returned, the "
       "correct (required) size of the buffer is passed back in pBufferSize.\n"
       "Size required: 1040\nTcEnumerateInterfaces returned 0x7a\n"},
      {"enumerateInterfaces", 31, 64, 2, "TcEnumerateInterfaces returned 0x1f\n"},
      {"openInterface", 1168, 0, 3,
       "no traffic control interfaces are available\nTcOpenInterface returned 0x490\n"},
      {"", 0, 0, 5, "no traffic control interfaces are available\n"},
      {"addFlow", 6, 64, 5, "The interface handle is invalid.\nTcAddFlow: ERROR: 6\n" + kHandle},
      {"addFlow", 4000000000u, 64, 5, "TcAddFlow: ERROR: 4000000000\n" + kHandle},
      {"addFilter", 7508, 64, 6, "TcAddFlow: ERROR: 7508\n" + kHandle},
      {"addFilter", 7520, 64, 6, "The QOS_DS_CLASS is invalid.\nTcAddFlow: ERROR: 7520\n" + kHandle},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    platform.failures[c.call] = c.result;
    platform.interfaceListSize = c.listSize;
    MarkingHandles handles;
    EXPECT_EQ(setupMarking(RunConfig{}, platform, handles), c.result == 0) << c.call;
    EXPECT_EQ(platform.output, c.output);
    EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), ' '), c.callsMade);
  }
  FakePlatform platform;  // a pointer-sized handle shows its low 32 bits, signed
  reportTcAddResult(platform, 1, ~TcHandle{0} - 4);
  EXPECT_EQ(platform.output, "TcAddFlow: ERROR: 1\nHandle was -5\n");
}

// A list longer than the first buffer is asked for once more at the size it
// needs. The flow goes on the interface whose address the group's datagrams
// leave from; on the first when none holds it.
TEST(SetupMarking, ListsAgainWhenTooSmallAndOpensTheInterfaceTowardsTheGroup) {
  for (const auto& [local, opened] : {std::pair{"10.0.0.6", "if5"}, std::pair{"10.0.0.9", "if0"}}) {
    FakePlatform platform;
    for (unsigned i = 0; i < 6; ++i)  // ifN has 10.0.0.N+1, if0 none
      platform.interfaces.push_back({"if" + std::to_string(i), i + 1, i ? hostToNetwork32(0x0A000001 + i) : 0});
    platform.localAddress = inetAddr(local);
    MarkingHandles handles;
    EXPECT_TRUE(setupMarking(RunConfig{}, platform, handles));
    EXPECT_EQ(platform.calls, "registerClient:2 enumerateInterfaces:336 enumerateInterfaces:408 outgoingAddress "
                              "openInterface:" + std::string(opened) + " addFlow addFilter:2/24 ");
  }
}

}  // namespace
}  // namespace stampcast
