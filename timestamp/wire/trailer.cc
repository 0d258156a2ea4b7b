#include "timestamp/wire/trailer.h"

#include <cstring>

namespace stampcast {
namespace {

constexpr std::uint8_t kMarker[4] = {'S', 'C', 'T', 'R'};
constexpr std::uint16_t kVersion = 1;

void put(std::uint8_t* out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t get(const std::uint8_t* in, int bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= std::uint64_t{in[i]} << (8 * i);
  return value;
}

}  // namespace

void encodeTrailer(const Trailer& trailer, std::uint8_t* out) {
  std::memcpy(out, kMarker, sizeof kMarker);
  put(out + 4, kVersion, 2);
  put(out + 6, kTrailerSize, 2);
  put(out + 8, trailer.run, 8);
  put(out + 16, trailer.number, 8);
  put(out + 24, static_cast<std::uint64_t>(trailer.sentUtcNanoseconds), 8);
}

bool decodeTrailer(const std::uint8_t* datagram, int length,
                   Trailer* trailer) {
  if (length < static_cast<int>(kMeasuredDatagramSize)) return false;
  const std::uint8_t* in = datagram + kTimestampDatagramSize;
  if (std::memcmp(in, kMarker, sizeof kMarker) != 0 ||
      get(in + 4, 2) != kVersion || get(in + 6, 2) != kTrailerSize) {
    return false;
  }
  trailer->run = get(in + 8, 8);
  trailer->number = get(in + 16, 8);
  trailer->sentUtcNanoseconds = static_cast<std::int64_t>(get(in + 24, 8));
  return true;
}

}  // namespace stampcast
