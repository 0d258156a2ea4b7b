#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "marking/marking.h"
#include "tests/fake_platform.h"

namespace stampcast {
namespace {

const std::vector<std::string> kAllSetupCalls = {
    "tcRegisterClient", "tcEnumerateInterfaces", "tcOpenInterface",
    "tcAddFlow", "tcAddFilter"};

struct MarkingRun {
  FakePlatform platform;
  RunConfig config;
  MarkingHandles handles;
  MarkingRun() { platform.enumeratedSize = 64; }
  bool run() { return setupMarking(config, platform, handles); }
  // The calls made up to and including `last`.
  std::vector<std::string> callsThrough(const std::string& last) const {
    std::vector<std::string> expected;
    for (const std::string& call : kAllSetupCalls) {
      expected.push_back(call);
      if (call == last) break;
    }
    return expected;
  }
};

TEST(SetupMarking, SuccessRegistersOpensAndAddsInOrderSilently) {
  MarkingRun setup;
  ASSERT_TRUE(setup.run());
  EXPECT_EQ(setup.platform.output, "");
  EXPECT_EQ(setup.platform.calls, kAllSetupCalls);
  EXPECT_EQ(setup.platform.registeredVersion, 2u);
  ASSERT_NE(setup.platform.handlers.notifyHandler, nullptr);
  setup.platform.handlers.notifyHandler(0, 0, 1, 0, 0, nullptr);
  EXPECT_EQ(setup.platform.handlers.addFlowCompleteHandler, nullptr);
  EXPECT_EQ(setup.platform.handlers.modifyFlowCompleteHandler, nullptr);
  EXPECT_EQ(setup.platform.handlers.deleteFlowCompleteHandler, nullptr);
  EXPECT_EQ(setup.platform.enumerateSizeGiven, 336u);
  EXPECT_EQ(setup.platform.openedName, u"Fake Interface");
  EXPECT_EQ(setup.handles.clientHandle, setup.platform.clientHandle);
  EXPECT_EQ(setup.handles.ifcHandle, setup.platform.ifcHandle);
  EXPECT_EQ(setup.handles.flowHandle, setup.platform.flowHandle);
  EXPECT_EQ(setup.handles.filterHandle, setup.platform.filterHandle);
  // The filter handed over points at records that outlive the call.
  EXPECT_EQ(setup.platform.filter.pattern, &setup.handles.pattern);
  EXPECT_EQ(setup.platform.filter.mask, &setup.handles.mask);
}

TEST(SetupMarking, EarlyFailuresReportInHexadecimalAndStop) {
  const struct {
    const char* call;
    std::uint32_t result;
    std::uint32_t size;
    std::string output;
  } cases[] = {
      {"tcRegisterClient", 87, 64, "TcRegisterClient returned 0x57\n"},
      {"tcEnumerateInterfaces", 6, 64,
       "The client handle is invalid.\nTcEnumerateInterfaces returned 0x6\n"},
      {"tcEnumerateInterfaces", 8, 64,
       "The system is out of memory.\nTcEnumerateInterfaces returned 0x8\n"},
      {"tcEnumerateInterfaces", 87, 64,
       "One of the parameters is NULL.\nTcEnumerateInterfaces returned 0x57\n"},
      {"tcEnumerateInterfaces", 122, 1040,
       "The buffer is too small to enumerate all interfaces. If this error is "
       "returned, the correct (required) size of the buffer is passed back in "
       "pBufferSize.\nSize required: 1040\n"
       "TcEnumerateInterfaces returned 0x7a\n"},
      {"tcEnumerateInterfaces", 1168, 64,
       "TcEnumerateInterfaces returned 0x490\n"},
      {"tcOpenInterface", 1168, 64, "TcOpenInterface returned 0x490\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.call) + " " + std::to_string(c.result));
    MarkingRun setup;
    setup.platform.tcResults[c.call] = c.result;
    setup.platform.enumeratedSize = c.size;
    EXPECT_FALSE(setup.run());
    EXPECT_EQ(setup.platform.output, c.output);
    EXPECT_EQ(setup.platform.calls, setup.callsThrough(c.call));
  }
}

TEST(SetupMarking, EmptyInterfaceListGoesOnWithAnEmptyName) {
  for (const std::uint32_t openResult : {0u, 87u}) {
    SCOPED_TRACE(openResult);
    MarkingRun setup;
    setup.platform.enumeratedSize = 0;
    setup.platform.tcResults["tcOpenInterface"] = openResult;
    EXPECT_EQ(setup.run(), openResult == 0);
    EXPECT_EQ(setup.platform.openedName, u"");
    EXPECT_EQ(setup.platform.output,
              std::string("no traffic control interfaces are available\n") +
                  (openResult == 0 ? "" : "TcOpenInterface returned 0x57\n"));
  }
}

// Every code of the flow and filter table, and codes that have no text.
TEST(SetupMarking, FlowAndFilterFailuresReportInDecimalWithTheHandle) {
  const struct {
    std::uint32_t code;
    const char* message;
  } codes[] = {
      {6, "The interface handle is invalid.\n"},
      {8, "The system is out of memory.\n"},
      {87, "A parameter is invalid.\n"},
      {162,
       "The function is being executed asynchronously; the client will be "
       "called back through the client-exposed ClAddFlowComplete function "
       "when the flow has been added or when the process has been "
       "completed.\n"},
      {1231, "The network cable is not plugged into the adapter.\n"},
      {1450,
       "There are not enough resources to accommodate the requested flow.\n"},
      {7502, "An unspecified or bad INTSERV service type has been provided.\n"},
      {7503, "An unspecified or bad TOKENRATE value has been provided.\n"},
      {7504, "The PEAKBANDWIDTH value is invalid.\n"},
      {7505, "The SHAPEDISCARDMODE is invalid.\n"},
      {7506, "The priority value is invalid.\n"},
      {7507, "The traffic class value is invalid.\n"},
      {7515, "Bad length specified for the TC objects.\n"},
      {7517,
       "Applies to Diffserv flows. Indicates that the QOS_DIFFSERV object was "
       "passed with an invalid parameter.\n"},
      {7518,
       "Applies to Diffserv flows. Indicates that the QOS_DIFFSERV_RULE "
       "specified in TC_GEN_FLOW already applies to an existing flow on the "
       "interface.\n"},
      {7519,
       "The QOS_SHAPING_RATE object was passed with an invalid ShapeRate.\n"},
      {7520, "The QOS_DS_CLASS is invalid.\n"},
      {7508, ""},
      {7510, ""},
      {7516, ""},
      {4000000000u, ""},
  };
  for (const char* call : {"tcAddFlow", "tcAddFilter"}) {
    for (const auto& c : codes) {
      SCOPED_TRACE(std::string(call) + " " + std::to_string(c.code));
      MarkingRun setup;
      setup.platform.tcResults[call] = c.code;
      EXPECT_FALSE(setup.run());
      EXPECT_EQ(setup.platform.output,
                std::string(c.message) + "TcAddFlow: ERROR: " +
                    std::to_string(c.code) + "\nHandle was 34\n");
      EXPECT_EQ(setup.platform.calls, setup.callsThrough(call));
    }
  }
}

// A pointer-sized handle prints as its low 32 bits read as signed.
TEST(SetupMarking, HandleLineShowsTheLowWordOfTheHandle) {
  const struct {
    TcHandle handle;
    const char* line;
  } cases[] = {
      {0x7FFFFFFF, "Handle was 2147483647\n"},
      {0xFFFFFFFE, "Handle was -2\n"},
      {0x80000000, "Handle was -2147483648\n"},
      {static_cast<TcHandle>(~TcHandle{0} - 4), "Handle was -5\n"},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    reportTcAddResult(platform, 1, c.handle);
    EXPECT_EQ(platform.output, std::string("TcAddFlow: ERROR: 1\n") + c.line);
  }
}

std::vector<std::uint8_t> wordBytes(const std::vector<std::uint32_t>& words) {
  std::vector<std::uint8_t> bytes(words.size() * 4);
  std::memcpy(bytes.data(), words.data(), bytes.size());
  return bytes;
}

TEST(SetupMarking, FlowAndFilterCarryTheCodePointAndTheGroup) {
  MarkingRun setup;
  setup.config.dscpValue = 46;
  setup.config.destAddress = "239.2.2.2";
  ASSERT_TRUE(setup.run());

  const std::uint32_t kNone = 0xFFFFFFFF;
  EXPECT_EQ(setup.platform.flowBytes,
            wordBytes({10000, kNone, kNone, kNone, kNone, 3, kNone, kNone,  //
                       kNone, kNone, kNone, kNone, kNone, 3, kNone, kNone,  //
                       20, 4001, 12, 46, 2001, 8}));

  EXPECT_EQ(setup.platform.filter.addressType, 2);
  EXPECT_EQ(setup.platform.filter.patternSize, 24u);
  std::uint8_t pattern[24] = {};
  const std::uint8_t group[4] = {239, 2, 2, 2};
  std::memcpy(pattern + 12, group, 4);
  pattern[20] = 17;
  std::uint8_t mask[24] = {};
  std::memset(mask + 12, 0xFF, 4);
  EXPECT_EQ(std::memcmp(&setup.platform.filterPattern, pattern, 24), 0);
  EXPECT_EQ(std::memcmp(&setup.platform.filterMask, mask, 24), 0);
}

TEST(SetupMarking, UncheckedValuesArePassedAsGiven) {
  MarkingRun setup;
  setup.config.dscpValue = 99;
  setup.config.destAddress = "not.an.address";
  ASSERT_TRUE(setup.run());
  ASSERT_EQ(setup.platform.flowBytes.size(), 88u);
  std::uint32_t dsField = 0;
  std::memcpy(&dsField, &setup.platform.flowBytes[76], 4);
  EXPECT_EQ(dsField, 99u);
  EXPECT_EQ(setup.platform.filterPattern.dstAddr, inetAddr("not.an.address"));
  EXPECT_EQ(setup.platform.filterMask.dstAddr, 0xFFFFFFFFu);
}

}  // namespace
}  // namespace stampcast
