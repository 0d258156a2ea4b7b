#include "platform/keyed_hash.h"

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

}  // namespace

bool hmacSha256(const std::uint8_t* key, std::size_t keyLength,
                const std::uint8_t* data, std::size_t length,
                std::uint8_t out[kSha256Length]) {
  if (hmac() == nullptr) return false;
  EVP_MAC_CTX* context = EVP_MAC_CTX_new(hmac());
  if (context == nullptr) return false;
  char digest[] = "SHA256";
  const OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
      OSSL_PARAM_construct_end()};
  std::size_t written = 0;
  const bool done = EVP_MAC_init(context, key, keyLength, params) == 1 &&
                    EVP_MAC_update(context, data, length) == 1 &&
                    EVP_MAC_final(context, out, &written, kSha256Length) == 1;
  EVP_MAC_CTX_free(context);
  return done && written == kSha256Length;
}

bool equalInConstantTime(const std::uint8_t* a, const std::uint8_t* b,
                         std::size_t n) {
  return CRYPTO_memcmp(a, b, n) == 0;
}

}  // namespace stampcast
