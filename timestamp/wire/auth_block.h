// The authentication block of an authenticated datagram: 20 bytes, the
// datagram's last,
//   0  key ID, 32 bits, network order
//   4  tag: the first 16 bytes of HMAC-SHA-256, under that key, of every
//      byte of the datagram before the tag (its bytes before the block,
//      and the key ID)
// At the end, so that a receiver finds the block without reading the
// trailer before it; nothing but its length tells a datagram that carries
// one. A datagram of the 16-byte time alone carries none; one longer than
// that but shorter than the time and a block has a short block; any other
// is read as carrying one, so that a datagram cut inside its block shows as
// an unknown key ID or a wrong tag.
#ifndef STAMPCAST_TIMESTAMP_WIRE_AUTH_BLOCK_H_
#define STAMPCAST_TIMESTAMP_WIRE_AUTH_BLOCK_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "timestamp/wire/key_file.h"

namespace stampcast {

inline constexpr std::size_t kKeyIdLength = 4;
inline constexpr std::size_t kTagLength = 16;
inline constexpr std::size_t kAuthBlockLength = kKeyIdLength + kTagLength;
// What every datagram starts with: the sender's local time.
inline constexpr std::size_t kAuthenticatedTimeLength = 16;

enum class AuthOutcome { kValid, kNoBlock, kShortBlock, kUnknownKey, kWrongTag };

// Writes the block after the first length bytes of the datagram, which has
// room for kAuthBlockLength more; false when the hash fails.
bool writeAuthBlock(std::uint8_t* datagram, std::size_t length,
                    const Key& key);

// Checks the block at the end of the datagram against the keys, the tags
// compared in constant time (a hash that fails gives a wrong tag). *keyId,
// when given, is the block's key ID for a datagram that carries a whole
// block.
AuthOutcome verifyAuthBlock(const std::uint8_t* datagram, std::size_t length,
                            const std::vector<Key>& keys,
                            std::uint32_t* keyId = nullptr);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_WIRE_AUTH_BLOCK_H_
