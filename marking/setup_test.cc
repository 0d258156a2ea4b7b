#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "marking/marking.h"
#include "tests/fake_platform.h"

namespace stampcast {
namespace {

TEST(SetupMarking, RegistersOpensAndAddsTheFlowAndFilterSilently) {
  for (const char* address : {"239.2.2.2", "not.an.address"}) {
    SCOPED_TRACE(address);
    FakePlatform platform;
    RunConfig config;
    config.destAddress = address;
    // Out-of-range values are passed on for the platform to refuse.
    config.dscpValue = address[0] == '2' ? 46 : 99;
    MarkingHandles handles;
    ASSERT_TRUE(setupMarking(config, platform, handles));
    EXPECT_EQ(platform.output, "");
    EXPECT_EQ(platform.calls,
              "tcRegisterClient:2 tcEnumerateInterfaces:336 "
              "tcOpenInterface:fake0 tcAddFlow tcAddFilter:2/24 ");
    // A notification handler, and no completion handler: every call
    // completes before it returns.
    EXPECT_NE(platform.handlers.notifyHandler, nullptr);
    EXPECT_EQ(platform.handlers.addFlowCompleteHandler, nullptr);

    // Guaranteed service both ways, 10000 bytes/s when sending, the rest
    // unspecified; a DS-class object with the code point; the end of list.
    const std::uint32_t kNone = 0xFFFFFFFF;
    const std::uint32_t flow[] = {
        10000, kNone, kNone, kNone, kNone, 3, kNone, kNone,  //
        kNone, kNone, kNone, kNone, kNone, 3, kNone, kNone,  //
        20, 4001, 12, static_cast<std::uint32_t>(config.dscpValue), 2001, 8};
    EXPECT_EQ(platform.given["tcAddFlow"], bytesOf(flow));

    // Only the group address is matched; the protocol is masked out.
    struct {
      IpPattern pattern, mask;
    } filter{};
    filter.pattern.dstAddr = inetAddr(address);
    filter.pattern.protocolId = 17;
    filter.mask.dstAddr = 0xFFFFFFFF;
    EXPECT_EQ(platform.given["tcAddFilter"], bytesOf(filter));
  }
}

// Registration, enumeration and open report in hexadecimal; flow and filter
// in decimal with the interface handle. Only an empty list goes on.
TEST(SetupMarking, EachFailureIsReportedAndEndsTheSetup) {
  const struct {
    std::string call;
    std::uint32_t result, listSize;
    long callsMade;
    std::string output;
  } cases[] = {
      {"tcRegisterClient", 87, 64, 1, "TcRegisterClient returned 0x57\n"},
      {"tcEnumerateInterfaces", 122, 1040, 2,
       "The buffer is too small to enumerate all interfaces. If this error is "
       "returned, the correct (required) size of the buffer is passed back in "
       "pBufferSize.\nSize required: 1040\n"
       "TcEnumerateInterfaces returned 0x7a\n"},
      {"tcOpenInterface", 1168, 0, 3,
       "no traffic control interfaces are available\n"
       "TcOpenInterface returned 0x490\n"},
      {"", 0, 0, 5, "no traffic control interfaces are available\n"},
      {"tcAddFlow", 87, 64, 4,
       "A parameter is invalid.\nTcAddFlow: ERROR: 87\nHandle was 34\n"},
      {"tcAddFlow", 4000000000u, 64, 4,
       "TcAddFlow: ERROR: 4000000000\nHandle was 34\n"},
      {"tcAddFilter", 7508, 64, 5, "TcAddFlow: ERROR: 7508\nHandle was 34\n"},
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

// A pointer-sized handle prints as its low 32 bits read as signed.
TEST(SetupMarking, HandleLineShowsTheLowWordOfTheHandle) {
  FakePlatform platform;
  reportTcAddResult(platform, 1, ~TcHandle{0} - 4);
  EXPECT_EQ(platform.output, "TcAddFlow: ERROR: 1\nHandle was -5\n");
}

}  // namespace
}  // namespace stampcast
