#include "timestamp/wire/trailer.h"

#include <cstring>

namespace stampcast {
namespace {

constexpr std::uint8_t kMarker[4] = {'S', 'C', 'T', 'R'};
constexpr std::uint8_t kHasLast = 1;

void put(std::uint8_t* out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t get(const std::uint8_t* in, int bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= std::uint64_t{in[i]} << (8 * i);
  return value;
}

std::size_t sizeOf(std::uint64_t version) {
  if (version == 1) return kTrailerSize;
  if (version == 2) return kTrailerV2Size;
  return 0;
}

}  // namespace

std::size_t trailerSize(const Trailer& trailer) {
  return trailer.version == 2 ? kTrailerV2Size : kTrailerSize;
}

std::size_t encodeTrailer(const Trailer& trailer, std::uint8_t* out) {
  const std::size_t size = trailerSize(trailer);
  std::memcpy(out, kMarker, sizeof kMarker);
  put(out + 4, size == kTrailerSize ? 1 : 2, 2);
  put(out + 6, size, 2);
  put(out + 8, trailer.run, 8);
  put(out + 16, trailer.number, 8);
  put(out + 24, static_cast<std::uint64_t>(trailer.sentUtcNanoseconds), 8);
  if (size == kTrailerSize) return size;
  put(out + 32, trailer.periodNanoseconds, 8);
  put(out + 40, trailer.hasLast ? trailer.last : 0, 8);
  out[48] = trailer.dscp;
  out[49] = trailer.hasLast ? kHasLast : 0;
  put(out + 50, trailer.burst, 2);
  put(out + 52, 0, 4);
  return size;
}

bool decodeTrailer(const std::uint8_t* datagram, int length,
                   Trailer* trailer) {
  if (length < static_cast<int>(kMeasuredDatagramSize)) return false;
  const std::uint8_t* in = datagram + kTimestampDatagramSize;
  const std::uint64_t version = get(in + 4, 2);
  const std::size_t size = sizeOf(version);
  if (std::memcmp(in, kMarker, sizeof kMarker) != 0 || size == 0 ||
      get(in + 6, 2) != size ||
      length < static_cast<int>(kTimestampDatagramSize + size)) {
    return false;
  }
  *trailer = Trailer{};
  trailer->version = static_cast<std::uint16_t>(version);
  trailer->run = get(in + 8, 8);
  trailer->number = get(in + 16, 8);
  trailer->sentUtcNanoseconds = static_cast<std::int64_t>(get(in + 24, 8));
  if (version == 1) return true;
  trailer->periodNanoseconds = get(in + 32, 8);
  trailer->hasLast = (in[49] & kHasLast) != 0;
  trailer->last = trailer->hasLast ? get(in + 40, 8) : 0;
  trailer->dscp = in[48];
  trailer->burst = static_cast<std::uint16_t>(get(in + 50, 2));
  return true;
}

}  // namespace stampcast
