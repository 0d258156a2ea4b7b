#include "platform/common/interface_list.h"

#include <gtest/gtest.h>

namespace stampcast {
namespace {

// The list as the emulation writes it and the marking reads it back: the
// interface holding the local address, else the first; a walk that stops
// where a descriptor leaves the stated size ("cut" bytes short).
TEST(InterfaceList, WrittenListReadsBackTheInterfaceToMarkOn) {
  const InterfaceInfo lo{"lo", 1, 0x0100007F};
  const InterfaceInfo veth{"veth0", 7, 0x0200000A};
  const InterfaceInfo bare{"eth1", 3, 0};
  const struct {
    std::vector<InterfaceInfo> list;
    std::uint32_t local, cut;
    std::size_t size;
    std::u16string name;
  } cases[] = {
      {{lo, veth}, 0x0200000A, 0, 136, u"veth0"},
      {{lo, veth}, 0, 0, 136, u"lo"},
      {{lo, veth}, 0x0300000A, 0, 136, u"lo"},
      {{bare, veth}, 0x0200000A, 0, 120, u"veth0"},
      {{bare, lo}, 0x0100007F, 0, 112, u"lo"},
      {{lo, veth}, 0x0200000A, 1, 136, u"lo"},
      {{}, 0x0200000A, 0, 0, u""},
  };
  for (const auto& test : cases) {
    alignas(8) unsigned char buffer[256] = {};
    ASSERT_EQ(interfaceListSize(test.list), test.size);
    writeInterfaceList(test.list, buffer);
    const std::uint32_t stated = std::uint32_t(test.size - test.cut);
    EXPECT_EQ(chosenInterfaceName(buffer, stated, test.local), test.name) << test.size;
  }
}

}  // namespace
}  // namespace stampcast
