#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "marking/marking.h"
#include "tests/fake_platform.h"

namespace stampcast {
namespace {

const std::vector<std::string> kAllSetupCalls = {
    "tcRegisterClient", "tcEnumerateInterfaces", "tcOpenInterface",
    "tcAddFlow", "tcAddFilter"};

std::vector<std::uint8_t> bytesOf(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  return std::vector<std::uint8_t>(bytes, bytes + size);
}

TEST(SetupMarking, RegistersOpensAndAddsTheFlowAndFilterSilently) {
  for (const char* address : {"239.2.2.2", "not.an.address"}) {
    SCOPED_TRACE(address);
    FakePlatform platform;
    platform.enumeratedSize = 64;
    RunConfig config;
    // Out-of-range values are passed on for the platform to refuse.
    config.dscpValue = address[0] == '2' ? 46 : 99;
    config.destAddress = address;
    MarkingHandles handles;
    ASSERT_TRUE(setupMarking(config, platform, handles));
    EXPECT_EQ(platform.output, "");
    EXPECT_EQ(platform.calls, kAllSetupCalls);
    EXPECT_EQ(platform.registeredVersion, 2u);
    ASSERT_NE(platform.handlers.notifyHandler, nullptr);
    platform.handlers.notifyHandler(0, 0, 1, 0, 0, nullptr);
    EXPECT_EQ(platform.handlers.addFlowCompleteHandler, nullptr);
    EXPECT_EQ(platform.enumerateSizeGiven, 336u);
    EXPECT_EQ(platform.openedName, u"Fake Interface");
    EXPECT_EQ(std::vector<TcHandle>({handles.clientHandle, handles.ifcHandle,
                                     handles.flowHandle, handles.filterHandle}),
              std::vector<TcHandle>({0x11, 0x22, 0x33, 0x44}));

    // Guaranteed service both ways, 10000 bytes/s when sending, the rest
    // unspecified; a DS-class object with the code point; the end of list.
    const std::uint32_t kNone = 0xFFFFFFFF;
    const std::uint32_t flow[] = {
        10000, kNone, kNone, kNone, kNone, 3, kNone, kNone,  //
        kNone, kNone, kNone, kNone, kNone, 3, kNone, kNone,  //
        20, 4001, 12, static_cast<std::uint32_t>(config.dscpValue), 2001, 8};
    EXPECT_EQ(platform.flowBytes, bytesOf(flow, sizeof flow));

    // The filter points at records that outlive the call; only the group
    // address is matched, the protocol in the pattern is masked out.
    EXPECT_EQ(platform.filter.addressType, 2);
    EXPECT_EQ(platform.filter.patternSize, 24u);
    ASSERT_EQ(platform.filter.pattern, &handles.pattern);
    ASSERT_EQ(platform.filter.mask, &handles.mask);
    IpPattern pattern{}, mask{};
    pattern.dstAddr = inetAddr(address);
    pattern.protocolId = 17;
    mask.dstAddr = 0xFFFFFFFF;
    EXPECT_EQ(bytesOf(&handles.pattern, 24), bytesOf(&pattern, 24));
    EXPECT_EQ(bytesOf(&handles.mask, 24), bytesOf(&mask, 24));
  }
}

// Registration, enumeration and open report in hexadecimal; flow and filter
// in decimal with the interface handle. Only an empty list goes on.
TEST(SetupMarking, EachFailureIsReportedAndEndsTheSetup) {
  const struct {
    const char* call;
    std::uint32_t result, size;
    std::string output;
  } cases[] = {
      {"tcRegisterClient", 87, 64, "TcRegisterClient returned 0x57\n"},
      {"tcEnumerateInterfaces", 87, 64,
       "One of the parameters is NULL.\nTcEnumerateInterfaces returned 0x57\n"},
      {"tcEnumerateInterfaces", 122, 1040,
       "The buffer is too small to enumerate all interfaces. If this error is "
       "returned, the correct (required) size of the buffer is passed back in "
       "pBufferSize.\nSize required: 1040\n"
       "TcEnumerateInterfaces returned 0x7a\n"},
      {"tcOpenInterface", 1168, 64, "TcOpenInterface returned 0x490\n"},
      {"tcOpenInterface", 87, 0,
       "no traffic control interfaces are available\n"
       "TcOpenInterface returned 0x57\n"},
      {"", 0, 0, "no traffic control interfaces are available\n"},
      {"tcAddFlow", 87, 64,
       "A parameter is invalid.\nTcAddFlow: ERROR: 87\nHandle was 34\n"},
      {"tcAddFlow", 7508, 64, "TcAddFlow: ERROR: 7508\nHandle was 34\n"},
      {"tcAddFilter", 7518, 64,
       "Applies to Diffserv flows. Indicates that the QOS_DIFFSERV_RULE "
       "specified in TC_GEN_FLOW already applies to an existing flow on the "
       "interface.\nTcAddFlow: ERROR: 7518\nHandle was 34\n"},
      {"tcAddFilter", 4000000000u, 64,
       "TcAddFlow: ERROR: 4000000000\nHandle was 34\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.call) + " " + std::to_string(c.result));
    FakePlatform platform;
    platform.failures[c.call] = c.result;
    platform.enumeratedSize = c.size;
    MarkingHandles handles;
    EXPECT_EQ(setupMarking(RunConfig{}, platform, handles), c.result == 0);
    EXPECT_EQ(platform.output, c.output);
    std::vector<std::string> calls = kAllSetupCalls;
    const auto last = std::find(calls.begin(), calls.end(), c.call);
    if (last != calls.end()) calls.erase(last + 1, calls.end());
    EXPECT_EQ(platform.calls, calls);
    if (c.size == 0) {
      EXPECT_EQ(platform.openedName, u"");
    }
  }
}

// A pointer-sized handle prints as its low 32 bits read as signed.
TEST(SetupMarking, HandleLineShowsTheLowWordOfTheHandle) {
  for (const auto& c : std::vector<std::pair<TcHandle, std::string>>{
           {0x80000000, "-2147483648"}, {~TcHandle{0} - 4, "-5"}}) {
    FakePlatform platform;
    reportTcAddResult(platform, 1, c.first);
    EXPECT_EQ(platform.output,
              "TcAddFlow: ERROR: 1\nHandle was " + c.second + "\n");
  }
}

}  // namespace
}  // namespace stampcast
