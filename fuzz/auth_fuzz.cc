// Any bytes as a datagram that a receiver holding keys 1 and 2 checks: the
// outcome follows from the length where the length decides it, and a
// datagram signed with key 2 is valid until any one bit of it changes.
// The same bytes as a key file: no key it gives is short.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "wire/auth_block.h"

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
  const AuthOutcome outcome = verifyAuthBlock(data, size, keys);
  check((outcome == AuthOutcome::kNoBlock) == (size <= 16), "no block");
  check((outcome == AuthOutcome::kShortBlock) == (size > 16 && size < 36), "short block");

  std::vector<std::uint8_t> sealed(data, data + size);
  sealed.resize(size + kAuthBlockLength);
  check(writeAuthBlock(sealed.data(), size, keys[1]), "the hash");
  const AuthOutcome signedOutcome = verifyAuthBlock(sealed.data(), sealed.size(), keys);
  check(size < 16 || signedOutcome == AuthOutcome::kValid, "a signed datagram is valid");
  if (size >= 16) {
    const std::size_t bit = (data[0] * 256u + data[size - 1]) % (sealed.size() * 8);
    sealed[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
    check(verifyAuthBlock(sealed.data(), sealed.size(), keys) != AuthOutcome::kValid,
          "one bit changed");
  }

  const KeyFile file = parseKeyFile(std::string(data, data + size));
  check(file.keys.empty() != file.error.empty(), "keys or a reason");
  for (const Key& key : file.keys) check(key.bytes.size() >= kMinimumKeyLength, "a short key");
  return 0;
}
