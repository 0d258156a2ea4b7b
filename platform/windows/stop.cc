// Stop requests on Windows: a console control handler, which Windows runs on
// a thread of its own, sets a flag and an event; a receive waits for that
// event beside its socket's, so that a stop that comes before or during the
// wait ends it, and the main thread ends the run through its normal path.
#include "platform/windows/windows_headers.h"
#include "platform/windows/windows_platform.h"

#include <atomic>

namespace stampcast {
namespace windows {
namespace {

std::atomic<bool> stopFlag{false};
// The first Ctrl-C or Ctrl-Break's instant, in milliseconds of the tick
// count (0: none yet); each request runs on a thread of its own.
std::atomic<ULONGLONG> firstStop{0};
// Manual-reset: once set it stays set, and every later wait sees it.
HANDLE stopEvent = nullptr;
// Set once the run is over: a request then changes nothing.
std::atomic<bool> runOver{false};

// Ctrl-C or Ctrl-Break: one request however often it comes within a
// second; one later than that ends the process at once (FALSE), as
// without this handler.
BOOL onStopRequest() {
  if (runOver) return TRUE;
  const ULONGLONG now = GetTickCount64() + 1;  // never the unset 0
  ULONGLONG first = 0;
  if (!firstStop.compare_exchange_strong(first, now)) {
    return now - first <= 1000 ? TRUE : FALSE;
  }
  stopFlag = true;
  SetEvent(stopEvent);
  return TRUE;
}

BOOL WINAPI onConsoleControl(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      return onStopRequest();
    // CTRL_SHUTDOWN_EVENT reaches services only: a console program sees
    // the close of its console when the system shuts down.
    case CTRL_CLOSE_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      stopFlag = true;
      SetEvent(stopEvent);
      // Windows ends the process as soon as this returns (and at the
      // latest some seconds after the event): it holds on instead, while
      // the main thread prints the summary and ends the process itself.
      Sleep(INFINITE);
      return TRUE;
    default:
      // A logoff reaches only a program that runs as a service, which
      // outlives it: the next handler decides, as without this one.
      return FALSE;
  }
}

}  // namespace

void WindowsPlatform::catchStopRequests() {
  // Where an event cannot be made, a stop request still ends the process
  // where it stands, as without -m.
  if (stopEvent == nullptr) {
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  if (readEvent_ == nullptr) readEvent_ = WSACreateEvent();
  catchingStops_ = stopEvent != nullptr && readEvent_ != WSA_INVALID_EVENT &&
                   SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

bool WindowsPlatform::stopRequested() { return stopFlag; }

void WindowsPlatform::ignoreStopRequests() { runOver = true; }

std::int64_t WindowsPlatform::steadyNanoseconds() {
  LARGE_INTEGER count;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  // Whole seconds and the rest apart, so that the product cannot overflow.
  const std::int64_t seconds = count.QuadPart / frequency.QuadPart;
  const std::int64_t rest = count.QuadPart % frequency.QuadPart;
  return seconds * 1000000000 + rest * 1000000000 / frequency.QuadPart;
}

void* WindowsPlatform::stopSignal() { return stopEvent; }

}  // namespace windows
}  // namespace stampcast
