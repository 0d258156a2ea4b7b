#include "cli/run.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  stampcast::prepareProcess();
  return stampcast::runStampcast(argc, argv, stampcast::systemPlatform());
}
