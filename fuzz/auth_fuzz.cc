// Any bytes as a datagram that a receiver holding keys 1 and 2 checks; and
// as the start of one signed with key 2, valid until any one bit changes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "timestamp/wire/auth_block.h"

namespace {

using namespace stampcast;

void check(bool holds, const char* rule) {
  if (holds) return;
  std::fprintf(stderr, "invariant broken: %s\n", rule);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<Key> keys = {{1, std::vector<std::uint8_t>(16, 1)},
                                 {2, std::vector<std::uint8_t>(40, 2)}};
  verifyAuthBlock(data, size, keys);  // for the sanitizers
  std::vector<std::uint8_t> sealed(data, data + size);
  sealed.resize(size + kAuthBlockLength);
  check(writeAuthBlock(sealed.data(), size, keys[1]), "the hash");
  if (size >= 16) {
    check(verifyAuthBlock(sealed.data(), sealed.size(), keys) == AuthOutcome::kValid,
          "a signed datagram is valid");
    const std::size_t bit = (data[0] * 256u + data[size - 1]) % (sealed.size() * 8);
    sealed[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
    check(verifyAuthBlock(sealed.data(), sealed.size(), keys) != AuthOutcome::kValid,
          "one bit changed");
  }
  return 0;
}
