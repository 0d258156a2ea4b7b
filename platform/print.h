// Formatted output through the platform's console.
#ifndef STAMPCAST_PLATFORM_PRINT_H_
#define STAMPCAST_PLATFORM_PRINT_H_

#include "platform/platform.h"

namespace stampcast {

// Formats like printf and hands the whole text to the console in one write.
void print(Platform& platform, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

}  // namespace stampcast

#endif  // STAMPCAST_PLATFORM_PRINT_H_
