// The Windows build under Wine, isolated. Wine makes a program's sockets in
// its wineserver, so a program has the network namespace of that server,
// not its own. Each WineSession therefore copies a template prefix into a
// fresh one (a new prefix has a new wineserver), starts that prefix's
// wineserver inside the session's own namespace, and ends it there before
// the namespace goes. No wineserver of the tests runs in the main namespace.
#ifndef STAMPCAST_TESTS_SUPPORT_WINE_H_
#define STAMPCAST_TESTS_SUPPORT_WINE_H_

#include <memory>
#include <string>
#include <vector>

#include "tests/support/netns.h"
#include "tests/support/process.h"

namespace stampcast {
namespace systest {

class WineSession {
 public:
  explicit WineSession(const std::string& test);
  // Ends the wineserver inside the namespace, then removes the prefix and
  // the namespace, in that order.
  ~WineSession();
  WineSession(const WineSession&) = delete;
  WineSession& operator=(const WineSession&) = delete;

  // Empty when every step succeeded, else the one that did not.
  const std::string& failure() const { return failure_; }
  const Netns& netns() const { return *netns_; }
  // `wine64 program args...` inside the namespace, with this prefix.
  Command command(const std::string& program, const std::vector<std::string>& args,
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
