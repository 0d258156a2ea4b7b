// Drives the option scan with command lines made from the input: one word
// per line, each word in its own allocation so that a read past its end is
// caught. Checks what callers rely on: the address text is the default or
// lies inside a word of the command line, a run that ends does so with -1
// and one of the known texts, and a run that goes on printed nothing.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/options.h"
#include "fuzz/check.h"
#include "tests/fake_platform.h"

namespace stampcast {
namespace {

const std::string& usageText() {
  static const std::string text = [] {
    FakePlatform platform;
    printUsage(platform);
    return platform.output;
  }();
  return text;
}

bool isOptionWord(const char* word) { return word[0] == '-' || word[0] == '/'; }

bool pointsInto(const char* text, const char* word) {
  return text >= word && text <= word + std::strlen(word);
}

void checkScan(int argc, char** argv) {
  FakePlatform platform;
  const ParsedOptions parsed = parseOptions(argc, argv, platform);
  const RunConfig defaults;

  // What the words ask for, read independently of the scan: the first word
  // that ends the run, and the switches set before it.
  int endingWord = 0;
  RunMode mode = RunMode::None;
  bool update = false, quiet = false;
  for (int i = 1; i < argc && endingWord == 0; ++i) {
    if (!isOptionWord(argv[i])) continue;
    switch (std::tolower(static_cast<unsigned char>(argv[i][1]))) {
      case 's': mode = RunMode::Sender; break;
      case 'r': mode = RunMode::Receiver; break;
      case 'u': update = true; break;
      case 'q': quiet = true; break;
      case 'd': case 'p': case 't': case 'l': case 'w': break;
      default: endingWord = i;
    }
  }

  if (argc <= 1) {
    FUZZ_CHECK(parsed.endRun && parsed.exitStatus == -1);
    FUZZ_CHECK(platform.output == usageText());
    return;
  }
  if (endingWord != 0) {
    FUZZ_CHECK(parsed.endRun && parsed.exitStatus == -1);
    const char* word = argv[endingWord];
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(word[1])));
    if (letter == 'v') {
      FUZZ_CHECK(platform.output == "stampcast version: 1.0\n");
    } else if (letter == 'h') {
      FUZZ_CHECK(platform.output == usageText());
    } else {
      FUZZ_CHECK(platform.output ==
            std::string("Unknown options flag ") + word + "\n");
    }
    return;
  }

  FUZZ_CHECK(!parsed.endRun && platform.output.empty());
  const RunConfig& config = parsed.config;
  FUZZ_CHECK(config.mode == mode && config.update == update &&
        config.verbose == !quiet);
  const char* address = config.destAddress;
  FUZZ_CHECK(address != nullptr);
  // A string literal may have one copy per object file: the default is
  // recognised by its text. An empty text stands for a missing value.
  bool known = std::strcmp(address, defaults.destAddress) == 0 || *address == '\0';
  for (int i = 1; i < argc && !known; ++i) known = pointsInto(address, argv[i]);
  FUZZ_CHECK(known);
}

}  // namespace
}  // namespace stampcast

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  // Real command lines are short; a cap keeps each run fast.
  constexpr std::size_t kMaxWords = 64;
  std::vector<std::unique_ptr<char[]>> words;
  static char program[] = "stampcast";
  std::vector<char*> argv{program};
  std::size_t start = 0;
  while (start < size && words.size() < kMaxWords) {
    const void* newline = std::memchr(data + start, '\n', size - start);
    const std::size_t end =
        newline ? static_cast<const std::uint8_t*>(newline) - data : size;
    std::unique_ptr<char[]> word(new char[end - start + 1]);
    std::memcpy(word.get(), data + start, end - start);
    word[end - start] = '\0';
    argv.push_back(word.get());
    words.push_back(std::move(word));
    start = end + 1;
  }
  argv.push_back(nullptr);
  stampcast::checkScan(static_cast<int>(argv.size() - 1), argv.data());
  return 0;
}
