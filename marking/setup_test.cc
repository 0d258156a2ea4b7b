#include <algorithm>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "marking/marking.h"
#include "tests/fake_platform.h"

namespace stampcast {
namespace {

// The records as traffic control gets them; a destination that is no
// address, and a code point out of range, are passed on for it to refuse.
TEST(SetupMarking, HandsOverTheFlowAndFilterItFilled) {
  for (const char* address : {"239.2.2.2", "not.an.address"}) {
    FakePlatform platform;
    RunConfig config;
    config.destAddress = address;
    config.dscpValue = address[0] == '2' ? 46 : 99;
    MarkingHandles handles;
    ASSERT_TRUE(setupMarking(config, platform, handles));
    EXPECT_EQ(platform.output, "");
    EXPECT_EQ(platform.calls,
              "registerClient:2 enumerateInterfaces:336 outgoingAddress "
              "openInterface:fake0 addFlow addFilter:2/24 ");
    // A notification handler and no completion handler: every call
    // completes before it returns.
    TcClientFuncList handlers;
    std::memcpy(&handlers, platform.given["registerClient"].data(),
                sizeof handlers);
    EXPECT_TRUE(handlers.notifyHandler && !handlers.addFlowCompleteHandler &&
                !handlers.modifyFlowCompleteHandler &&
                !handlers.deleteFlowCompleteHandler);
    const std::uint32_t kNone = 0xFFFFFFFF;
    const std::uint32_t flow[] = {
        10000, kNone, kNone, kNone, kNone, 3, kNone, kNone,  //
        kNone, kNone, kNone, kNone, kNone, 3, kNone, kNone,  //
        20, 4001, 12, static_cast<std::uint32_t>(config.dscpValue), 2001, 8};
    EXPECT_EQ(platform.given["addFlow"], bytesOf(flow));
    IpPattern filter[2] = {};  // the pattern, then the mask
    filter[0].dstAddr = inetAddr(address);
    filter[0].protocolId = 17;
    filter[1].dstAddr = 0xFFFFFFFF;
    EXPECT_EQ(platform.given["addFilter"], bytesOf(filter));
  }
}

// Registration, enumeration and open report in hexadecimal; flow and filter
// in decimal with the interface handle. Only an empty list goes on.
TEST(SetupMarking, EachFailureIsReportedAndEndsTheSetup) {
  const std::string kTooSmall =
      "The buffer is too small to enumerate all interfaces. If this error is "
      "returned, the correct (required) size of the buffer is passed back in "
      "pBufferSize.\nSize required: 1040\n";
  const struct {
    std::string call;
    std::uint32_t result, listSize;
    long callsMade;
    std::string output;
  } cases[] = {
      {"registerClient", 87, 64, 1, "TcRegisterClient returned 0x57\n"},
      {"enumerateInterfaces", 6, 64, 2,
       "The client handle is invalid.\nTcEnumerateInterfaces returned 0x6\n"},
      {"enumerateInterfaces", 8, 64, 2,
       "The system is out of memory.\nTcEnumerateInterfaces returned 0x8\n"},
      {"enumerateInterfaces", 87, 64, 2,
       "One of the parameters is NULL.\nTcEnumerateInterfaces returned 0x57\n"},
      {"enumerateInterfaces", 122, 1040, 3,
       kTooSmall + "TcEnumerateInterfaces returned 0x7a\n"},
      {"enumerateInterfaces", 31, 64, 2, "TcEnumerateInterfaces returned 0x1f\n"},
      {"openInterface", 1168, 0, 3,
       "no traffic control interfaces are available\n"
       "TcOpenInterface returned 0x490\n"},
      {"", 0, 0, 5, "no traffic control interfaces are available\n"},
      {"addFlow", 6, 64, 5,
       "The interface handle is invalid.\nTcAddFlow: ERROR: 6\nHandle was 34\n"},
      {"addFlow", 162, 64, 5,
       "The function is being executed asynchronously; the client will be "
       "called back through the client-exposed ClAddFlowComplete function "
       "when the flow has been added or when the process has been completed."
       "\nTcAddFlow: ERROR: 162\nHandle was 34\n"},
      {"addFlow", 4000000000u, 64, 5,
       "TcAddFlow: ERROR: 4000000000\nHandle was 34\n"},
      {"addFilter", 7508, 64, 6, "TcAddFlow: ERROR: 7508\nHandle was 34\n"},
      {"addFilter", 7520, 64, 6,
       "The QOS_DS_CLASS is invalid.\nTcAddFlow: ERROR: 7520\nHandle was 34\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call + " " + std::to_string(c.result));
    FakePlatform platform;
    platform.failures[c.call] = c.result;
    platform.interfaceListSize = c.listSize;
    MarkingHandles handles;
    EXPECT_EQ(setupMarking(RunConfig{}, platform, handles), c.result == 0);
    EXPECT_EQ(platform.output, c.output);
    EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), ' '),
              c.callsMade);
  }
}

// A list longer than the first buffer is asked for once more at the size it
// needs. The flow goes on the interface whose address the group's datagrams
// leave from; on the first when none holds it or the question fails.
TEST(SetupMarking, ListsAgainWhenTooSmallAndOpensTheInterfaceTowardsTheGroup) {
  const struct {
    unsigned count;
    const char* local;
    std::string lists, opened;
  } cases[] = {
      {2, "10.0.0.2", "336 ", "if1"},
      {6, "10.0.0.6", "336 enumerateInterfaces:408 ", "if5"},
      {6, "10.0.0.9", "336 enumerateInterfaces:408 ", "if0"},
      {3, "0.0.0.0", "336 ", "if0"},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    for (unsigned i = 0; i < c.count; ++i) {  // if0 has no address
      const std::string address = "10.0.0." + std::to_string(i + 1);
      platform.interfaces.push_back(
          {"if" + std::to_string(i), i + 1, i ? inetAddr(address.c_str()) : 0});
    }
    platform.localAddress = inetAddr(c.local);
    MarkingHandles handles;
    EXPECT_TRUE(setupMarking(RunConfig{}, platform, handles));
    EXPECT_EQ(platform.calls, "registerClient:2 enumerateInterfaces:" + c.lists +
                                  "outgoingAddress openInterface:" + c.opened +
                                  " addFlow addFilter:2/24 ");
    const SocketAddress group{2, hostToNetwork16(1234), inetAddr("239.1.1.1"), {}};
    EXPECT_EQ(platform.given["outgoingAddress"], bytesOf(group));
  }
}

// A pointer-sized handle prints as its low 32 bits read as signed.
TEST(SetupMarking, HandleLineShowsTheLowWordOfTheHandle) {
  FakePlatform platform;
  reportTcAddResult(platform, 1, ~TcHandle{0} - 4);
  EXPECT_EQ(platform.output, "TcAddFlow: ERROR: 1\nHandle was -5\n");
}

}  // namespace
}  // namespace stampcast
