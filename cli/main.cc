#include <string>
#include <vector>

#include "cli/run.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  stampcast::prepareProcess();
  // The words live until the run ends: the settings point into them.
  std::vector<std::string> words = stampcast::commandLine(argc, argv);
  std::vector<char*> pointers;
  for (std::string& word : words) pointers.push_back(&word[0]);
  pointers.push_back(nullptr);
  return stampcast::runStampcast(static_cast<int>(words.size()),
                                 pointers.data(), stampcast::systemPlatform());
}
