#include "tests/support/wine.h"

#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <system_error>
#include <thread>

namespace stampcast {
namespace systest {
namespace {

namespace fs = std::filesystem;

constexpr char kWine[] = "/usr/lib/wine/wine64";
constexpr char kWineserver[] = "/usr/lib/wine/wineserver64";

// No display: Wine stays on the console. No Mono or Gecko prompt.
Command inPrefix(const Netns& netns, const std::string& prefix, std::vector<std::string> argv,
                 Milliseconds timeout) {
  std::vector<std::string> env = {"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY",
                                  "WINEPREFIX=" + prefix, "WINEDEBUG=-all",
                                  "WINEDLLOVERRIDES=mscoree,mshtml="};
  argv.insert(argv.begin(), env.begin(), env.end());
  return netns.command(argv, timeout);
}

// Starts the prefix's wineserver inside `netns` and proves that it runs
// there; says otherwise in *failure.
std::unique_ptr<Background> startServer(const Netns& netns, const std::string& prefix,
                                        std::string* failure) {
  auto server = std::make_unique<Background>(
      inPrefix(netns, prefix, {kWineserver, "--foreground", "--persistent"}, Milliseconds(600000)));
  std::string where;
  // The child enters the namespace between fork and exec: a moment to get there.
  for (int look = 0; look < 20 && server->pid() > 0 && where != netns.name() + "\n"; ++look) {
    if (look > 0) std::this_thread::sleep_for(Milliseconds(50));
    where = run({{"ip", "netns", "identify", std::to_string(server->pid())}}).output;
  }
  if (server->pid() <= 0 || where != netns.name() + "\n") {
    *failure = "wineserver runs in namespace '" + where + "', not in " + netns.name();
  }
  return server;
}

void stopServer(const Netns& netns, const std::string& prefix, Background& server) {
  run(inPrefix(netns, prefix, {kWineserver, "--kill"}, Milliseconds(10000)));
  server.wait(Milliseconds(10000));
}

// The prefix every session copies, made once under the build tree (wineboot
// takes 30 to 60 s) and named for the Wine version, since Wine upgrades an
// older prefix on its first start. Built aside and renamed into place, so
// that a concurrent run sees no template or a whole one.
std::string templatePrefix(std::string* failure) {
  std::string version;
  for (char c : run({{kWine, "--version"}}).output) {
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '.') version += c;
  }
  const fs::path dir = fs::path(STAMPCAST_TOOLS_DIR) / ("wine-template-" + version);
  if (fs::exists(dir / "system.reg")) return dir.string();
  const std::string building = dir.string() + ".tmp-" + std::to_string(::getpid());
  std::error_code error;
  fs::remove_all(building, error);
  {
    Netns netns("winetemplate");
    if (!netns.ready()) {
      *failure = "no namespace for the template prefix";
      return "";
    }
    fs::create_directories(building, error);
    std::unique_ptr<Background> server = startServer(netns, building, failure);
    if (failure->empty()) {
      const Outcome boot =
          run(inPrefix(netns, building, {kWine, "wineboot.exe", "-i"}, Milliseconds(240000)));
      if (boot.status != 0) *failure = "wineboot failed: " + boot.errors;
    }
    stopServer(netns, building, *server);
  }
  if (failure->empty()) fs::rename(building, dir, error);
  fs::remove_all(building, error);
  if (failure->empty() && !fs::exists(dir / "system.reg")) *failure = "no template prefix";
  return dir.string();
}

}  // namespace

WineSession::WineSession(const std::string& test) {
  const std::string source = templatePrefix(&failure_);
  netns_ = std::make_unique<Netns>("wine" + test);
  if (!failure_.empty()) return;
  if (!netns_->ready()) {
    failure_ = "no namespace";
    return;
  }
  prefix_ = fs::path(STAMPCAST_TOOLS_DIR) / ("wine-prefix-" + netns_->name());
  std::error_code error;
  fs::remove_all(prefix_, error);  // left by a killed run whose pid was ours
  if (run({{"cp", "-a", source, prefix_}, "", Milliseconds(60000)}).status != 0) {
    failure_ = "cannot copy the template prefix";
    return;
  }
  server_ = startServer(*netns_, prefix_, &failure_);
}

WineSession::~WineSession() {
  if (server_ != nullptr) stopServer(*netns_, prefix_, *server_);
  server_.reset();
  std::error_code error;
  if (!prefix_.empty()) fs::remove_all(prefix_, error);
  netns_.reset();  // last: nothing of Wine's runs in it any more
}

Command WineSession::command(const std::string& program, const std::vector<std::string>& args,
                             Milliseconds timeout) const {
  std::vector<std::string> argv = {kWine, program};
  argv.insert(argv.end(), args.begin(), args.end());
  return inPrefix(*netns_, prefix_, argv, timeout);
}

}  // namespace systest
}  // namespace stampcast
