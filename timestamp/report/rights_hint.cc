#include "timestamp/report/rights_hint.h"

#include <atomic>

#include "timestamp/report/report.h"

namespace stampcast {
namespace {

std::atomic<bool> hinted{false};

const char* hintText(MissingRight right) {
  switch (right) {
    case MissingRight::Elevation:
      return "Run it from an elevated prompt (as administrator).\n";
    case MissingRight::SysTime:
      return "Run it as root, or with CAP_SYS_TIME.\n";
    case MissingRight::NetAdmin:
      return "Run it as root, or with CAP_NET_ADMIN.\n";
    case MissingRight::None:
      break;
  }
  return nullptr;
}

}  // namespace

void resetRightsHint() { hinted = false; }

const char* rightsHint(RightsArea area, std::uint32_t code) {
  const char* text = hintText(missingRight(area, code));
  if (text == nullptr || hinted.exchange(true)) return nullptr;
  return text;
}

void printRightsHint(Report& report, RightsArea area, std::uint32_t code) {
  if (const char* text = rightsHint(area, code)) print(report, "%s", text);
}

}  // namespace stampcast
