// HMAC-SHA-256 through CNG. bcrypt.dll comes from the system folder, with
// its HMAC provider opened once and kept for the run: the provider is the
// costly part, a hash object per call the cheap one.
#include "platform/keyed_hash.h"

#include <limits>

#include "platform/windows/system_library.h"
#include "platform/windows/windows_headers.h"
// After windows.h, whose types it uses; the functions are found at run time.
#include <bcrypt.h>

namespace stampcast {
namespace {

struct Cng {
  BCRYPT_ALG_HANDLE hmac = nullptr;  // null when bcrypt.dll fails us
  decltype(&BCryptCreateHash) createHash = nullptr;
  decltype(&BCryptHashData) hashData = nullptr;
  decltype(&BCryptFinishHash) finishHash = nullptr;
  decltype(&BCryptDestroyHash) destroyHash = nullptr;
};

Cng loadCng() {
  Cng cng;
  const HMODULE library = windows::loadSystemLibrary(L"bcrypt.dll");
  decltype(&BCryptOpenAlgorithmProvider) openProvider = nullptr;
  if (library == nullptr ||
      !windows::findFunction(library, "BCryptOpenAlgorithmProvider",
                             &openProvider) ||
      !windows::findFunction(library, "BCryptCreateHash", &cng.createHash) ||
      !windows::findFunction(library, "BCryptHashData", &cng.hashData) ||
      !windows::findFunction(library, "BCryptFinishHash", &cng.finishHash) ||
      !windows::findFunction(library, "BCryptDestroyHash",
                             &cng.destroyHash)) {
    return cng;
  }
  BCRYPT_ALG_HANDLE provider = nullptr;
  if (BCRYPT_SUCCESS(openProvider(&provider, BCRYPT_SHA256_ALGORITHM, nullptr,
                                  BCRYPT_ALG_HANDLE_HMAC_FLAG))) {
    cng.hmac = provider;
  }
  return cng;
}

const Cng& cng() {
  static const Cng loaded = loadCng();
  return loaded;
}

// CNG takes lengths as ULONG and buffers as writable pointers it only reads.
bool fitsUlong(std::size_t length) {
  return length <= std::numeric_limits<ULONG>::max();
}

}  // namespace

bool hmacSha256(const std::uint8_t* key, std::size_t keyLength,
                const std::uint8_t* data, std::size_t length,
                std::uint8_t out[kSha256Length]) {
  const Cng& api = cng();
  if (api.hmac == nullptr || !fitsUlong(keyLength) || !fitsUlong(length)) {
    return false;
  }
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!BCRYPT_SUCCESS(api.createHash(api.hmac, &hash, nullptr, 0,
                                     const_cast<PUCHAR>(key),
                                     static_cast<ULONG>(keyLength), 0))) {
    return false;
  }
  const bool done =
      BCRYPT_SUCCESS(api.hashData(hash, const_cast<PUCHAR>(data),
                                  static_cast<ULONG>(length), 0)) &&
      BCRYPT_SUCCESS(api.finishHash(hash, out, kSha256Length, 0));
  api.destroyHash(hash);
  return done;
}

// Windows has no call for it: every byte is looked at, and the differences
// gathered, so that where they differ does not change the time taken.
bool equalInConstantTime(const std::uint8_t* a, const std::uint8_t* b,
                         std::size_t n) {
  volatile std::uint8_t differences = 0;
  for (std::size_t i = 0; i < n; ++i) {
    differences = differences | (a[i] ^ b[i]);
  }
  return differences == 0;
}

}  // namespace stampcast
