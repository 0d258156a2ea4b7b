// Where the system tests find the programs they run.
#ifndef STAMPCAST_TESTS_SUPPORT_PATHS_H_
#define STAMPCAST_TESTS_SUPPORT_PATHS_H_

#include <string>

namespace stampcast {
namespace systest {

inline std::string stampcastBinary() { return STAMPCAST_BINARY; }

// A program built from tests/tools/<name>.cc.
inline std::string tool(const std::string& name) {
  return std::string(STAMPCAST_TOOLS_DIR) + "/" + name;
}

}  // namespace systest
}  // namespace stampcast

#endif  // STAMPCAST_TESTS_SUPPORT_PATHS_H_
