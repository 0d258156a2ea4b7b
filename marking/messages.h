// The texts that explain a traffic-control result code: a table for each
// call whose codes have explanations.
#ifndef STAMPCAST_MARKING_MESSAGES_H_
#define STAMPCAST_MARKING_MESSAGES_H_

#include <cstdint>

namespace stampcast {

// The explanation of a failed enumeration, or nullptr when the code has none.
// Code 122 is followed by the size line, which the caller prints.
const char* enumerationMessage(std::uint32_t result);

// The explanation of a failed flow or filter addition, or nullptr.
const char* addResultMessage(std::uint32_t result);

// The explanations of a failed interface close and a failed deregistration,
// or nullptr. The close's 7512 text has no newline: the general failure
// line completes it.
const char* closeInterfaceMessage(std::uint32_t result);
const char* deregisterClientMessage(std::uint32_t result);

}  // namespace stampcast

#endif  // STAMPCAST_MARKING_MESSAGES_H_
