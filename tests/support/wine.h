// The Windows build under Wine, isolated. Wine creates a program's sockets
// in its wineserver, so a program has the network namespace of that server,
// not its own. Each WineSession therefore copies a template prefix into a
// fresh directory (a new prefix means a new wineserver), starts that
// prefix's wineserver inside the session's own namespace, and ends it there
// before the namespace goes. No wineserver ever runs in the main namespace.
#ifndef STAMPCAST_TESTS_SUPPORT_WINE_H_
#define STAMPCAST_TESTS_SUPPORT_WINE_H_

#include <memory>
#include <string>
#include <vector>

#include "tests/support/netns.h"
#include "tests/support/process.h"

namespace stampcast {
namespace systest {

// The Windows executable under test: $STAMPCAST_WINDOWS_BINARY when set,
// else the one the windows preset builds.
std::string windowsBinary();

// True when $STAMPCAST_REQUIRE_WINDOWS is set: a missing executable is then
// a failure instead of a skipped test.
bool windowsRequired();

// CR LF turned into LF, as the Windows build's text-mode output reads on
// Linux.
std::string withoutCarriageReturns(const std::string& text);

class WineSession {
 public:
  // Makes the namespace and the prefix, and starts the wineserver in it.
  explicit WineSession(const std::string& test);
  // Ends the wineserver inside the namespace, then removes the prefix and
  // the namespace, in that order.
  ~WineSession();
  WineSession(const WineSession&) = delete;
  WineSession& operator=(const WineSession&) = delete;

  // Every step succeeded; otherwise failure() says which did not.
  bool ready() const { return failure_.empty(); }
  const std::string& failure() const { return failure_; }
  const Netns& netns() const { return *netns_; }

  // `wine64 program args...` inside the namespace, with this prefix.
  Command command(const std::string& program,
                  const std::vector<std::string>& args,
                  Milliseconds timeout = Milliseconds(20000)) const;

 private:
  std::unique_ptr<Netns> netns_;
  std::string prefix_;
  std::unique_ptr<Background> server_;
  std::string failure_;
};

}  // namespace systest
}  // namespace stampcast

#endif  // STAMPCAST_TESTS_SUPPORT_WINE_H_
