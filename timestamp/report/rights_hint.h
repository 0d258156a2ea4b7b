// One more line after a failure whose code means that the process lacks
// rights, saying what to do, once per run: the failure's own report stays
// as it is and repeats as often as the failure does.
#ifndef STAMPCAST_TIMESTAMP_REPORT_RIGHTS_HINT_H_
#define STAMPCAST_TIMESTAMP_REPORT_RIGHTS_HINT_H_

#include <cstdint>

#include "platform/platform.h"
#include "timestamp/report/report.h"

namespace stampcast {

// The longest hint, with its newline.
inline constexpr std::size_t kRightsHintCapacity = 52;

// A new run: no hint has been given.
void resetRightsHint();

// The hint's line (with its newline) the first time a run meets a failure
// of the area whose code means missing rights; null otherwise.
const char* rightsHint(RightsArea area, std::uint32_t code);

// Prints that line, when there is one, as print() does.
void printRightsHint(Report& report, RightsArea area, std::uint32_t code);

}  // namespace stampcast

#endif  // STAMPCAST_TIMESTAMP_REPORT_RIGHTS_HINT_H_
