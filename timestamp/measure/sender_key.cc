#include "timestamp/measure/sender_key.h"

#include <random>

namespace stampcast {
namespace {

// The finaliser of splitmix64: a bijection in which each input bit flips
// each output bit about half the time.
std::uint64_t mix(std::uint64_t x) {
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ULL;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

std::uint64_t drawSeed() {
  std::random_device source;
  return std::uint64_t{source()} << 32 | source();
}

}  // namespace

SeededHash::SeededHash() : seed_(drawSeed()) {}

std::size_t SeededHash::operator()(std::uint64_t key) const {
  return static_cast<std::size_t>(mix(key ^ seed_));
}

std::size_t SeededHash::operator()(std::uint64_t key,
                                   std::uint64_t more) const {
  return static_cast<std::size_t>(mix(mix(key ^ seed_) ^ more));
}

std::size_t SeededHash::operator()(const SenderKey& key) const {
  return (*this)(key, 0);
}

std::size_t SeededHash::operator()(const SenderKey& key,
                                   std::uint64_t more) const {
  const std::uint64_t chained = mix(mix(mix(key.high ^ seed_) ^ key.low) ^ key.rest);
  return static_cast<std::size_t>(mix(chained ^ more));
}

}  // namespace stampcast
