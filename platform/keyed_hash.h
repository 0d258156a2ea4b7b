// The keyed hash that authenticates datagrams, from the system's own
// cryptographic library: OpenSSL's libcrypto on POSIX, CNG (bcrypt.dll,
// loaded from the system folder when first needed) on Windows. Nothing here
// hashes by hand.
#ifndef STAMPCAST_PLATFORM_KEYED_HASH_H_
#define STAMPCAST_PLATFORM_KEYED_HASH_H_

#include <cstddef>
#include <cstdint>

namespace stampcast {

inline constexpr std::size_t kSha256Length = 32;

// HMAC-SHA-256 of the data under the key, into out. False when the library
// cannot give it (on Windows: bcrypt.dll or its HMAC provider missing);
// out is then undefined and must not be used.
bool hmacSha256(const std::uint8_t* key, std::size_t keyLength,
                const std::uint8_t* data, std::size_t length,
                std::uint8_t out[kSha256Length]);

// Whether the n bytes at a and at b are the same, in a time that depends on
// n only, not on where they differ.
bool equalInConstantTime(const std::uint8_t* a, const std::uint8_t* b,
                         std::size_t n);

}  // namespace stampcast

#endif  // STAMPCAST_PLATFORM_KEYED_HASH_H_
