#include "timestamp/wire/auth_block.h"

#include <algorithm>

#include "platform/keyed_hash.h"

namespace stampcast {
namespace {

const Key* findKey(const std::vector<Key>& keys, std::uint32_t id) {
  for (const Key& key : keys) {
    if (key.id == id) return &key;
  }
  return nullptr;
}

// The whole HMAC of the length bytes at data under the key; false when the
// hash fails.
bool tagOf(const std::uint8_t* data, std::size_t length, const Key& key,
           std::uint8_t tag[kSha256Length]) {
  return hmacSha256(key.bytes.data(), key.bytes.size(), data, length, tag);
}

}  // namespace

bool writeAuthBlock(std::uint8_t* datagram, std::size_t length,
                    const Key& key) {
  std::uint8_t* block = datagram + length;
  for (std::size_t i = 0; i < kKeyIdLength; ++i) {
    block[i] = static_cast<std::uint8_t>(key.id >> (24 - 8 * i));
  }
  std::uint8_t tag[kSha256Length];
  if (!tagOf(datagram, length + kKeyIdLength, key, tag)) return false;
  std::copy(tag, tag + kTagLength, block + kKeyIdLength);
  return true;
}

AuthOutcome verifyAuthBlock(const std::uint8_t* datagram, std::size_t length,
                            const std::vector<Key>& keys,
                            std::uint32_t* keyId) {
  if (length <= kAuthenticatedTimeLength) return AuthOutcome::kNoBlock;
  if (length < kAuthenticatedTimeLength + kAuthBlockLength) {
    return AuthOutcome::kShortBlock;
  }
  const std::size_t signedLength = length - kTagLength;
  const std::uint8_t* block = datagram + length - kAuthBlockLength;
  const std::uint32_t id = std::uint32_t{block[0]} << 24 |
                           std::uint32_t{block[1]} << 16 |
                           std::uint32_t{block[2]} << 8 | block[3];
  if (keyId != nullptr) *keyId = id;
  const Key* key = findKey(keys, id);
  if (key == nullptr) return AuthOutcome::kUnknownKey;
  std::uint8_t tag[kSha256Length];
  if (!tagOf(datagram, signedLength, *key, tag) ||
      !equalInConstantTime(tag, datagram + signedLength, kTagLength)) {
    return AuthOutcome::kWrongTag;
  }
  return AuthOutcome::kValid;
}

}  // namespace stampcast
