#include "cli/interface_choice.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/fake_platform.h"
#include "timestamp/report/text_report.h"

namespace stampcast {
namespace {

struct Choice {
  const char* group;
  const char* named;
  unsigned index;         // 0: refused, with `said`
  const char* address;    // the IPv4 address the run goes by
  const char* said;
};

// eth1 holds two IPv4 addresses (listed high first) and one IPv6 one; v6only
// has no IPv4 interface and v4only no IPv6 one, as Windows lists adapters
// where a protocol is off. The route towards the group leaves from
// 10.0.0.9, which eth1 does not hold.
TEST(InterfaceChoice, NamesIndexesAddressesAndFamilies) {
  std::array<std::uint8_t, 16> fd81{0xfd, 0, 0, 0x81};
  fd81[15] = 2;
  const std::vector<HostInterface> host = {
      {"eth1", 3, {inetAddr("10.0.0.7"), inetAddr("10.0.0.5")}, 3, {fd81}},
      {"v6only", 0, {}, 12, {}},
      {"v4only", 14, {inetAddr("10.1.0.1")}, 0, {}},
      {"r\xc3\xa9seau0", 15, {}, 15, {}}};
  const Choice table[] = {
      {"239.1.1.1", "eth1", 3, "10.0.0.5", ""},
      {"239.1.1.1", "0000000003", 3, "10.0.0.5", ""},
      {"239.1.1.1", "00000000000000000014", 14, "10.1.0.1", ""},
      {"239.1.1.1", "0000000000", 0, "", "Unknown interface 0000000000\n"},
      {"239.1.1.1", "1000000000", 0, "", "Unknown interface 1000000000\n"},
      {"239.1.1.1", "10.0.0.7", 3, "10.0.0.5", ""},
      {"239.1.1.1", "r\xc3\xa9seau0", 15, "0.0.0.0", ""},
      {"ff15::81", "fd00:81::2", 3, "0.0.0.0", ""},
      {"239.1.1.1", "fd00:81::2", 3, "10.0.0.5", ""},
      {"ff15::81", "fd00:81::3", 0, "", "Unknown interface fd00:81::3\n"},
      {"ff15::81", "12", 12, "0.0.0.0", ""},
      {"239.1.1.1", "12", 0, "", "Unknown interface 12\n"},
      {"239.1.1.1", "v6only", 0, "", "Interface v6only has no IPv4\n"},
      {"ff15::81", "v4only", 0, "", "Interface v4only has no IPv6\n"},
  };
  for (const Choice& row : table) {
    FakePlatform platform;
    platform.interfaces = host;
    RunConfig config;
    config.destAddress = row.group;
    config.interfaceText = row.named;
    TextReport report(platform, config);
    EXPECT_EQ(resolveInterfaceAndSource(config, platform, report), row.index != 0);
    EXPECT_EQ(config.interfaceIndex, row.index) << row.named;
    EXPECT_EQ(platform.output, row.said) << row.named;
    if (row.index != 0) {
      EXPECT_EQ(config.interfaceAddress, inetAddr(row.address)) << row.named;
    }
  }
}

// The address the route sends from, where the adapter holds it, over the
// lowest.
TEST(InterfaceChoice, TheRoutesAddressWhenTheAdapterHoldsIt) {
  FakePlatform platform;
  platform.interfaces = {{"eth1", 3, {inetAddr("10.0.0.7"), inetAddr("10.0.0.5")}, 3, {}}};
  platform.outgoing = inetAddr("10.0.0.7");
  RunConfig config;
  config.interfaceText = "eth1";
  TextReport report(platform, config);
  ASSERT_TRUE(resolveInterfaceAndSource(config, platform, report));
  EXPECT_EQ(config.interfaceAddress, inetAddr("10.0.0.7"));
}

}  // namespace
}  // namespace stampcast
