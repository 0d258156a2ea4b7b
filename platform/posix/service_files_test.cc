// The key file's permissions as the POSIX backend reads them, and a sample
// as it reaches a socket bound where a time service would bind it.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/clock_sample.h"
#include "platform/small_file.h"

namespace stampcast {
namespace {

TEST(PosixServiceFiles, AFileTellsWhetherGroupOrOthersMayReadIt) {
  char folder[] = "/tmp/stampcast-test-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::string path = std::string(folder) + "/keys";
  std::ofstream(path) << "1 SHA256 ASCII:sixteen-letters!\n";
  const struct { mode_t mode; bool others; } cases[] = {
      {0600, false}, {0640, true}, {0604, true}, {0400, false}};
  for (const auto& c : cases) {
    ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
    const SmallFile file = readSmallFile(path, 64);
    EXPECT_EQ(file.outcome, FileOutcome::kRead) << c.mode;
    EXPECT_EQ(file.othersMayRead, c.others) << c.mode;
  }
  EXPECT_EQ(readSmallFile(path, 10).outcome, FileOutcome::kTooLong);
  EXPECT_EQ(readSmallFile(folder, 64).outcome, FileOutcome::kNotAFile);
  ::unlink(path.c_str());
  EXPECT_EQ(readSmallFile(path, 64).outcome, FileOutcome::kMissing);
  ::rmdir(folder);
}

TEST(PosixServiceFiles, ASampleArrivesInTheServicesLayout) {
  char folder[] = "/tmp/stampcast-test-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::string path = std::string(folder) + "/clock.sock";
  int error = 0;
  const SocketHandle sender = openClockSampleSocket(&error);
  ASSERT_NE(sender, kInvalidSocket);
  ClockSample sample;
  sample.seconds = 1700000000;
  sample.microseconds = 999999;
  sample.offset = -2.5;
  EXPECT_EQ(sendClockSample(sender, path, sample), ENOENT);
  const int service = ::socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, path.c_str());
  ASSERT_EQ(::bind(service, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(sendClockSample(sender, path, sample), 0);
  unsigned char got[64];
  ASSERT_EQ(::recv(service, got, sizeof got, MSG_DONTWAIT), 40);
  std::int64_t usec;
  double offset;
  std::int32_t magic;
  std::memcpy(&usec, got + 8, 8);
  std::memcpy(&offset, got + 16, 8);
  std::memcpy(&magic, got + 36, 4);
  EXPECT_EQ(usec, 999999);
  EXPECT_EQ(offset, -2.5);
  EXPECT_EQ(magic, 0x534f434b);
  ::close(service);
  EXPECT_EQ(sendClockSample(sender, path, sample), ECONNREFUSED);
  closeClockSampleSocket(sender);
  ::unlink(path.c_str());
  ::rmdir(folder);
}

}  // namespace
}  // namespace stampcast
