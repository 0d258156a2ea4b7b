// Prints the exposition of tests/exposition_sample.h, for promtool to check
// and node_exporter to serve (tests/test_metrics.py).
#include <cstdio>

#include "tests/exposition_sample.h"

int main() {
  const std::string text = stampcast::writeExposition(stampcast::sampleGroups(), "1.0");
  return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() ? 0 : 1;
}
