#include "tests/support/wine.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace stampcast {
namespace systest {
namespace {

namespace fs = std::filesystem;

constexpr char kWine[] = "/usr/lib/wine/wine64";
constexpr char kWineserver[] = "/usr/lib/wine/wineserver64";
// wineboot sets up a new prefix: 30 to 60 s on a first run.
const Milliseconds kBootLimit(240000);
const Milliseconds kServerLimit(10000);

int nextNumber() {
  static int number = 0;
  return number++;
}

std::vector<std::string> wineEnvironment(const std::string& prefix,
                                         std::vector<std::string> argv) {
  // No display: Wine stays on the console. No Mono or Gecko prompt.
  std::vector<std::string> result = {
      "env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY",
      "WINEPREFIX=" + prefix, "WINEDEBUG=-all",
      "WINEDLLOVERRIDES=mscoree,mshtml="};
  result.insert(result.end(), argv.begin(), argv.end());
  return result;
}

std::string trimmed(std::string text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.pop_back();
  return text;
}

// Starts the wineserver of `prefix` inside `netns` and makes sure that it
// runs there; on failure says why in *failure.
std::unique_ptr<Background> startServer(const Netns& netns,
                                        const std::string& prefix,
                                        std::string* failure) {
  auto server = std::make_unique<Background>(netns.command(
      wineEnvironment(prefix, {kWineserver, "--foreground", "--persistent"}),
      Milliseconds(600000)));
  if (!server->started()) {
    *failure = "wineserver did not start";
    return server;
  }
  Command identify;
  identify.argv = {"ip", "netns", "identify", std::to_string(server->pid())};
  const std::string where = trimmed(run(identify).output);
  if (where != netns.name()) {
    *failure = "wineserver runs in namespace '" + where + "', not in " +
               netns.name();
  }
  return server;
}

void stopServer(const Netns& netns, const std::string& prefix,
                Background& server) {
  run(netns.command(wineEnvironment(prefix, {kWineserver, "--kill"}),
                    kServerLimit));
  server.wait(kServerLimit);
}

// The prefix every session copies, made once and kept under the build tree
// for later runs; one per Wine version, since Wine upgrades a prefix of an
// older version on its first start.
std::string templatePrefix(std::string* failure) {
  Command version;
  version.argv = {kWine, "--version"};
  std::string tag;
  for (char c : trimmed(run(version).output)) {
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '.') tag += c;
  }
  const fs::path dir =
      fs::path(STAMPCAST_TOOLS_DIR) / ("wine-template-" + tag);
  if (fs::exists(dir / "system.reg")) return dir.string();

  // Built aside and renamed into place, so that a concurrent test run sees
  // either no template or a whole one.
  const fs::path building = dir.string() + ".tmp-" +
                            std::to_string(::getpid()) + "-" +
                            std::to_string(nextNumber());
  std::error_code error;
  fs::remove_all(building, error);
  fs::create_directories(building, error);
  {
    Netns netns("winetemplate");
    if (!netns.ready()) {
      *failure = "no namespace for the template prefix";
      return "";
    }
    std::unique_ptr<Background> server =
        startServer(netns, building.string(), failure);
    if (failure->empty()) {
      const Outcome boot = run(netns.command(
          wineEnvironment(building.string(), {kWine, "wineboot.exe", "-i"}),
          kBootLimit));
      if (boot.status != 0) *failure = "wineboot failed: " + boot.errors;
    }
    stopServer(netns, building.string(), *server);
  }
  if (failure->empty() && !fs::exists(building / "system.reg")) {
    *failure = "wineboot made no registry";
  }
  if (failure->empty()) {
    fs::rename(building, dir, error);
    if (!error || fs::exists(dir / "system.reg")) {
      fs::remove_all(building, error);
      return dir.string();
    }
    *failure = "cannot keep the template prefix: " + error.message();
  }
  fs::remove_all(building, error);
  return "";
}

}  // namespace

std::string windowsBinary() {
  const char* chosen = std::getenv("STAMPCAST_WINDOWS_BINARY");
  return chosen != nullptr && *chosen != '\0' ? chosen
                                              : STAMPCAST_WINDOWS_BINARY;
}

bool windowsRequired() {
  return std::getenv("STAMPCAST_REQUIRE_WINDOWS") != nullptr;
}

std::string withoutCarriageReturns(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    result += text[i];
  }
  return result;
}

WineSession::WineSession(const std::string& test) {
  const std::string source = templatePrefix(&failure_);
  if (!failure_.empty()) return;
  netns_ = std::make_unique<Netns>("wine" + test);
  if (!netns_->ready()) {
    failure_ = "no namespace";
    return;
  }
  prefix_ = (fs::path(STAMPCAST_TOOLS_DIR) /
             ("wine-prefix-" + std::to_string(::getpid()) + "-" +
              std::to_string(nextNumber())))
                .string();
  std::error_code error;
  fs::remove_all(prefix_, error);
  Command copy;
  copy.argv = {"cp", "-a", source, prefix_};
  copy.timeout = Milliseconds(60000);
  if (run(copy).status != 0) {
    failure_ = "cannot copy the template prefix";
    return;
  }
  server_ = startServer(*netns_, prefix_, &failure_);
}

WineSession::~WineSession() {
  if (server_ != nullptr) stopServer(*netns_, prefix_, *server_);
  server_.reset();
  if (!prefix_.empty()) {
    std::error_code error;
    fs::remove_all(prefix_, error);
  }
  netns_.reset();  // last: nothing of Wine's runs in it any more
}

Command WineSession::command(const std::string& program,
                             const std::vector<std::string>& args,
                             Milliseconds timeout) const {
  std::vector<std::string> argv = {kWine, program};
  argv.insert(argv.end(), args.begin(), args.end());
  return netns_->command(wineEnvironment(prefix_, argv), timeout);
}

}  // namespace systest
}  // namespace stampcast
