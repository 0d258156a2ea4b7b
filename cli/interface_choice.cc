#include "cli/interface_choice.h"

#include <cctype>
#include <cstring>
#include <vector>

#include "timestamp/report/report.h"

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

// A decimal index: digits only, of a value that fits after any number of
// leading zeros.
bool parseIndex(const char* text, unsigned* index) {
  if (*text == '\0') return false;
  while (*text == '0' && text[1] != '\0') ++text;
  const std::size_t length = std::strlen(text);
  if (length > 9) return false;
  unsigned value = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (!isDigit(*c)) return false;
    value = value * 10 + static_cast<unsigned>(*c - '0');
  }
  *index = value;
  return true;
}

// Whether the interface holds the address that `text` is: dotted IPv4, or
// IPv6 as inet_pton reads it.
bool holds(const HostInterface& candidate, const char* text) {
  std::uint32_t address = 0;
  std::uint8_t address6[16];
  if (parseDotted(text, &address)) {
    for (const std::uint32_t held : candidate.ipv4Addresses) {
      if (held == address) return true;
    }
  } else if (std::strchr(text, ':') != nullptr && inetPton6(text, address6)) {
    for (const auto& held : candidate.ipv6Addresses) {
      if (std::memcmp(held.data(), address6, sizeof address6) == 0) return true;
    }
  }
  return false;
}

// The interface that `text` names: by name first, then by its index for
// the group's family, then by any of its addresses; null when none.
const HostInterface* find(const std::vector<HostInterface>& interfaces,
                          const char* text, bool ipv6) {
  for (const HostInterface& candidate : interfaces) {
    if (candidate.name == text) return &candidate;
  }
  unsigned index = 0;
  for (const HostInterface& candidate : interfaces) {
    const unsigned own = ipv6 ? candidate.index6 : candidate.index;
    if (parseIndex(text, &index) && own != 0 && own == index) return &candidate;
  }
  for (const HostInterface& candidate : interfaces) {
    if (holds(candidate, text)) return &candidate;
  }
  return nullptr;
}

// The adapter's IPv4 address that the run goes by (the sender's source,
// the traffic-control interface it marks on, Windows' word for the
// adapter): the one the route to the group would send from when the
// adapter holds it, else the lowest; 0 when it has none. Neither system
// promises an order for an adapter's addresses, so the first listed is no
// rule.
std::uint32_t chosenAddress(const HostInterface& chosen, const RunPlan& plan,
                            Platform& platform) {
  const std::vector<std::uint32_t>& held = chosen.ipv4Addresses;
  if (held.size() < 2) return held.empty() ? 0 : held.front();
  const std::uint32_t routed =
      platform.hostNetwork().outgoingAddress(plan.groups.front());
  std::uint32_t lowest = held.front();
  for (const std::uint32_t address : held) {
    if (address == routed) return routed;
    if (hostToNetwork32(address) < hostToNetwork32(lowest)) lowest = address;
  }
  return lowest;
}

bool resolveInterface(const RunConfig& config, Platform& platform,
                      Report& report, RunPlan& plan) {
  const bool ipv6 = plan.ipv6();
  // A list that cannot be read names no interface either.
  std::vector<HostInterface> interfaces;
  const HostInterface* chosen =
      platform.hostNetwork().listInterfaces(&interfaces)
          ? find(interfaces, config.interfaceText, ipv6)
          : nullptr;
  if (chosen == nullptr || (chosen->index == 0 && chosen->index6 == 0)) {
    printError(report, "Unknown interface %s\n", config.interfaceText);
    return false;
  }
  // A Windows adapter without the group's protocol.
  if ((ipv6 ? chosen->index6 : chosen->index) == 0) {
    printError(report, "Interface %s has no IPv%d\n", config.interfaceText,
               ipv6 ? 6 : 4);
    return false;
  }
  plan.interfaceIndex = ipv6 ? chosen->index6 : chosen->index;
  plan.interfaceAddress = ipv6 ? 0 : chosenAddress(*chosen, plan, platform);
  return true;
}

// An IPv6 group's source: neither the unspecified address nor a group.
bool readSource6(const char* text, SocketAddress* source) {
  *source = SocketAddress{};
  source->family = kAddressFamilyInet6;
  const std::uint8_t zero[16] = {};
  return inetPton6(text, source->address) && source->address[0] != 0xff &&
         std::memcmp(source->address, zero, sizeof zero) != 0;
}

// An IPv4 group's: no datagram comes from 0.0.0.0, a group or the
// broadcast address.
bool readSource4(const char* text, SocketAddress* source) {
  std::uint32_t address = 0;
  const bool dotted = parseDotted(text, &address);
  const unsigned first = hostToNetwork32(address) >> 24;
  *source = ipv4SocketAddress(address, 0);
  return dotted && address != 0 && first < 224;
}

}  // namespace

bool resolveInterfaceAndSource(const RunConfig& config, Platform& platform,
                               Report& report, RunPlan& plan) {
  if (config.interfaceText != nullptr &&
      !resolveInterface(config, platform, report, plan)) {
    return false;
  }
  if (config.sourceText == nullptr || config.mode != RunMode::Receiver) {
    return true;
  }
  SocketAddress source;
  const bool read = plan.ipv6() ? readSource6(config.sourceText, &source)
                                : readSource4(config.sourceText, &source);
  if (!read) {
    printError(report, "Not a source address: %s\n", config.sourceText);
    return false;
  }
  plan.source = source;
  return true;
}

}  // namespace stampcast
