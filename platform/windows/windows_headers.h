// The Windows headers in the order they need: Windows Sockets 2 before
// windows.h (which would otherwise pull in the old winsock.h), the QOS
// records before the Traffic Control API that uses them, and qWAVE.
#ifndef STAMPCAST_PLATFORM_WINDOWS_WINDOWS_HEADERS_H_
#define STAMPCAST_PLATFORM_WINDOWS_WINDOWS_HEADERS_H_

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <qos.h>
#include <ntddndis.h>
#include <traffic.h>
// mingw-w64's qos2.h uses the flow identifier's types before it declares
// them; the same declaration first.
typedef UINT32 QOS_FLOWID, *PQOS_FLOWID;
#include <qos2.h>

#include <string>

#include "platform/types.h"

namespace stampcast {
namespace windows {

// The program's socket handle is Windows Sockets' SOCKET (same size, checked
// in layouts.cc).
inline SOCKET asSocket(SocketHandle socket) {
  return static_cast<SOCKET>(socket);
}

// UTF-16 to the program's UTF-8 (text.cc); length -1: up to the NUL.
std::string toUtf8(const wchar_t* wide, int length);
// Writes UTF-8 to a console as UTF-16 (text.cc): the bytes of the text
// written, or -1 when none was.
long writeConsole(void* console, const char* bytes, std::size_t length);

}  // namespace windows
}  // namespace stampcast

#endif  // STAMPCAST_PLATFORM_WINDOWS_WINDOWS_HEADERS_H_
