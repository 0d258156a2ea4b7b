// Placeholder: replaced by the marking teardown.
#include "marking/marking.h"
namespace stampcast {
void teardownMarking(Platform&, const MarkingHandles&) {}
}  // namespace stampcast
