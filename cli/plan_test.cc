#include "cli/plan.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/fake_platform.h"
#include "timestamp/report/text.h"
#include "timestamp/report/text_report.h"

namespace stampcast {
namespace {

// A receiver's typed -d, -i and -f, and the plan or the refusal they make.
struct Typed {
  const char* group;
  const char* named;   // -i, or null
  const char* source;  // -f, or null
  const char* plan;    // "group if index[ via address] from source", or the refusal
};

// An address as the lines show it; the source and the interface address
// have port 0.
std::string shown(const SocketAddress& address) {
  char text[kAddressTextMax];
  return std::string(text, writeAddress(text, address));
}

std::string describe(const RunPlan& plan) {
  std::string text = shown(plan.groups.at(0)) + " if " + std::to_string(plan.interfaceIndex);
  const SocketAddress via = ipv4SocketAddress(plan.interfaceAddress, 0);
  if (plan.interfaceAddress != 0) text += " via " + shown(via);
  return text + " from " + (plan.source.family == 0 ? "any" : shown(plan.source));
}

// eth1 holds two IPv4 addresses (listed high first) and one IPv6 one; v6only
// has no IPv4 interface and v4only no IPv6 one, as Windows lists adapters
// where a protocol is off. The route towards the group leaves from
// 10.0.0.9, which eth1 does not hold and eth2 does. Every row's port is
// typed as 66770, which keeps its low 16 bits.
TEST(RunPlan, GroupsInterfacesAndSources) {
  std::array<std::uint8_t, 16> fd81{0xfd, 0, 0, 0x81};
  fd81[15] = 2;
  const std::vector<HostInterface> host = {
      {"eth1", 3, {inetAddr("10.0.0.7"), inetAddr("10.0.0.5")}, 3, {fd81}},
      {"eth2", 4, {inetAddr("10.0.0.8"), inetAddr("10.0.0.9")}, 4, {}},
      {"v6only", 0, {}, 12, {}},
      {"v4only", 14, {inetAddr("10.1.0.1")}, 0, {}},
      {"r\xc3\xa9seau0", 15, {}, 15, {}}};
  const Typed table[] = {
      {"ff15::8g", nullptr, nullptr, "Not an IPv6 address: ff15::8g\n"},
      {"ff15::8g", "eth9", "::", "Unknown interface eth9\n"},
      {"239.1.1.1", "eth1", nullptr, "239.1.1.1:1234 if 3 via 10.0.0.5:0 from any"},
      {"239.1.1.1", "eth2", nullptr, "239.1.1.1:1234 if 4 via 10.0.0.9:0 from any"},
      {"239.1.1.1", "000000000000000014", nullptr, "239.1.1.1:1234 if 14 via 10.1.0.1:0 from any"},
      {"239.1.1.1", "0000000000", nullptr, "Unknown interface 0000000000\n"},
      {"239.1.1.1", "4294967310", nullptr, "Unknown interface 4294967310\n"},  // not 14
      {"239.1.1.1", "10.0.0.7", nullptr, "239.1.1.1:1234 if 3 via 10.0.0.5:0 from any"},
      {"239.1.1.1", "fd00:81::2", nullptr, "239.1.1.1:1234 if 3 via 10.0.0.5:0 from any"},
      {"239.1.1.1", "r\xc3\xa9seau0", nullptr, "239.1.1.1:1234 if 15 from any"},
      {"ff15::81", "fd00:81::2", nullptr, "[ff15::81]:1234 if 3 from any"},
      {"ff15::81", "fd00:81::3", nullptr, "Unknown interface fd00:81::3\n"},
      {"ff15::81", "12", nullptr, "[ff15::81]:1234 if 12 from any"},
      {"239.1.1.1", "12", nullptr, "Unknown interface 12\n"},
      {"239.1.1.1", "v6only", nullptr, "Interface v6only has no IPv4\n"},
      {"ff15::81", "v4only", nullptr, "Interface v4only has no IPv6\n"},
      {"239.1.1.1", "eth1", "10.0.0.1", "239.1.1.1:1234 if 3 via 10.0.0.5:0 from 10.0.0.1:0"},
      {"239.1.1.1", nullptr, "224.0.0.1", "Not a source address: 224.0.0.1\n"},
      {"239.1.1.1", nullptr, "0.0.0.0", "Not a source address: 0.0.0.0\n"},
      {"ff15::81", "12", "fd00::1", "[ff15::81]:1234 if 12 from [fd00::1]:0"},
      {"ff15::81", nullptr, "ff02::1", "Not a source address: ff02::1\n"},
      {"ff15::81", nullptr, "::", "Not a source address: ::\n"},
  };
  for (const Typed& row : table) {
    FakePlatform platform;
    platform.interfaces = host;
    platform.outgoing = inetAddr("10.0.0.9");
    RunConfig config;
    config.mode = RunMode::Receiver;
    config.destAddress = row.group;
    config.destPort = 65536 + 1234;
    config.interfaceText = row.named;
    config.sourceText = row.source;
    RunPlan plan;
    TextReport report(platform, config, plan);
    const bool resolved = resolvePlan(config, platform, report, &plan);
    EXPECT_EQ(resolved ? describe(plan) : platform.output, row.plan) << row.group;
    EXPECT_EQ(platform.output.empty(), resolved) << row.group;
  }
}

}  // namespace
}  // namespace stampcast
