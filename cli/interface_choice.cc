#include "cli/interface_choice.h"

#include <cctype>
#include <cstring>
#include <vector>

#include "timestamp/text.h"

namespace stampcast {
namespace {

bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Exactly four decimal parts of 0 to 255, as a.b.c.d; into network order.
// The socket layer's own parser would also take "10.1" or "0x0a.1.1.1".
bool parseDotted(const char* text, std::uint32_t* address) {
  unsigned char bytes[4];
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && *text++ != '.') return false;
    unsigned value = 0;
    int digits = 0;
    for (; isDigit(*text) && digits < 4; ++text, ++digits) {
      value = value * 10 + static_cast<unsigned>(*text - '0');
    }
    if (digits == 0 || digits > 3 || value > 255) return false;
    bytes[part] = static_cast<unsigned char>(value);
  }
  if (*text != '\0') return false;
  std::memcpy(address, bytes, sizeof bytes);
  return true;
}

// A decimal index: digits only, of a value that fits.
bool parseIndex(const char* text, unsigned* index) {
  const std::size_t length = std::strlen(text);
  if (length == 0 || length > 9) return false;
  unsigned value = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (!isDigit(*c)) return false;
    value = value * 10 + static_cast<unsigned>(*c - '0');
  }
  *index = value;
  return true;
}

// The interface that `text` names: by name first, then by index, then by
// any of its addresses; null when none.
const HostInterface* find(const std::vector<HostInterface>& interfaces,
                          const char* text) {
  for (const HostInterface& candidate : interfaces) {
    if (candidate.name == text) return &candidate;
  }
  unsigned index = 0;
  std::uint32_t address = 0;
  for (const HostInterface& candidate : interfaces) {
    if (parseIndex(text, &index) && candidate.index == index) return &candidate;
  }
  for (const HostInterface& candidate : interfaces) {
    for (const std::uint32_t held : candidate.ipv4Addresses) {
      if (parseDotted(text, &address) && held == address) return &candidate;
    }
  }
  return nullptr;
}

}  // namespace

bool resolveInterfaceAndSource(RunConfig& config, Platform& platform) {
  if (config.interfaceText != nullptr) {
    // A list that cannot be read names no interface either.
    std::vector<HostInterface> interfaces;
    const HostInterface* chosen =
        platform.listInterfaces(&interfaces)
            ? find(interfaces, config.interfaceText)
            : nullptr;
    if (chosen == nullptr || chosen->index == 0) {
      printError(platform, "Unknown interface %s\n", config.interfaceText);
      return false;
    }
    config.interfaceIndex = chosen->index;
    config.interfaceAddress =
        chosen->ipv4Addresses.empty() ? 0 : chosen->ipv4Addresses.front();
  }
  if (config.sourceText == nullptr || config.mode != RunMode::Receiver) {
    return true;
  }
  if (std::strchr(config.destAddress, ':') != nullptr) {
    // An IPv6 group's source: neither the unspecified address nor a group.
    const bool parsed = inetPton6(config.sourceText, config.source6);
    const std::uint8_t zero[16] = {};
    if (!parsed || config.source6[0] == 0xff ||
        std::memcmp(config.source6, zero, sizeof zero) == 0) {
      printError(platform, "Not a source address: %s\n", config.sourceText);
      return false;
    }
    config.sourceIs6 = true;
    return true;
  }
  {
    // No datagram comes from 0.0.0.0, a group or the broadcast address.
    std::uint32_t source = 0;
    const bool dotted = parseDotted(config.sourceText, &source);
    const unsigned first = hostToNetwork32(source) >> 24;
    if (!dotted || source == 0 || first >= 224) {
      printError(platform, "Not a source address: %s\n", config.sourceText);
      return false;
    }
    config.sourceAddress = source;
  }
  return true;
}

}  // namespace stampcast
