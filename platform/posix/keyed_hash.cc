#include "platform/keyed_hash.h"

#include <algorithm>
#include <vector>

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>

namespace stampcast {
namespace {

// The library's HMAC, fetched once: a fetch searches its providers.
EVP_MAC* hmac() {
  static EVP_MAC* const fetched = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  return fetched;
}

// One context a thread, kept keyed between calls: initialising it with a
// key hashes the key's padded blocks, while re-initialising it with no key
// starts again from those, which halves the work for a short datagram.
struct KeyedContext {
  EVP_MAC_CTX* context = nullptr;
  std::vector<std::uint8_t> key;
  bool keyed = false;
  ~KeyedContext() { EVP_MAC_CTX_free(context); }
};

bool initialise(KeyedContext& kept, const std::uint8_t* key, std::size_t keyLength) {
  if (kept.keyed && kept.key.size() == keyLength &&
      std::equal(key, key + keyLength, kept.key.begin())) {
    return EVP_MAC_init(kept.context, nullptr, 0, nullptr) == 1;
  }
  char digest[] = "SHA256";
  const OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
      OSSL_PARAM_construct_end()};
  kept.keyed = EVP_MAC_init(kept.context, key, keyLength, params) == 1;
  kept.key.assign(key, key + keyLength);
  return kept.keyed;
}

}  // namespace

bool hmacSha256(const std::uint8_t* key, std::size_t keyLength,
                const std::uint8_t* data, std::size_t length,
                std::uint8_t out[kSha256Length]) {
  if (hmac() == nullptr) return false;
  thread_local KeyedContext kept;
  if (kept.context == nullptr) kept.context = EVP_MAC_CTX_new(hmac());
  if (kept.context == nullptr) return false;
  std::size_t written = 0;
  const bool done = initialise(kept, key, keyLength) &&
                    EVP_MAC_update(kept.context, data, length) == 1 &&
                    EVP_MAC_final(kept.context, out, &written, kSha256Length) == 1;
  kept.keyed = kept.keyed && done;
  return done && written == kSha256Length;
}

bool equalInConstantTime(const std::uint8_t* a, const std::uint8_t* b,
                         std::size_t n) {
  return CRYPTO_memcmp(a, b, n) == 0;
}

}  // namespace stampcast
