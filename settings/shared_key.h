// A shared key that authenticates datagrams: its ID, which travels in each
// datagram, and its bytes, which never leave the process. A leaf.
#ifndef STAMPCAST_SETTINGS_SHARED_KEY_H_
#define STAMPCAST_SETTINGS_SHARED_KEY_H_

#include <cstdint>
#include <vector>

namespace stampcast {

struct Key {
  std::uint32_t id = 0;
  std::vector<std::uint8_t> bytes;
};

}  // namespace stampcast

#endif  // STAMPCAST_SETTINGS_SHARED_KEY_H_
