// A key file's permissions as the POSIX backend reads them, and a sample
// as it reaches a socket bound where a time service binds its own.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "timestamp/wire/key_file.h"
#include "timestamp/wire/refclock_sample.h"

namespace stampcast {
namespace {

TEST(PosixServiceFiles, AKeyFileThatGroupOrOthersMayReadIsRefused) {
  char folder[] = "/tmp/stampcast-test-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::string path = std::string(folder) + "/keys";
  std::ofstream(path) << "1 SHA256 ASCII:sixteen-letters!\n";
  const struct { mode_t mode; std::string error; } cases[] = {
      {0600, ""}, {0640, "can be read by group or others"}, {0604, "can be read by group or others"}};
  for (const auto& c : cases) {
    ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
    EXPECT_EQ(loadKeyFile(path).error, c.error) << c.mode;
  }
  ::unlink(path.c_str());
  EXPECT_EQ(loadKeyFile(path).error, "no such file");
  ::rmdir(folder);
}

TEST(PosixServiceFiles, ASampleArrivesInTheServicesLayoutWhileItServes) {
  char folder[] = "/tmp/stampcast-test-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::string path = std::string(folder) + "/clock.sock";
  int error;
  const SocketHandle sender = openClockSampleSocket(&error);
  // At 1 ns before 1970, the sender 2.5 s behind.
  const ClockSample sample = refclockSample(-1, -2500000000);
  EXPECT_EQ(sendClockSample(sender, path, sample), ENOENT);
  const int service = ::socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un address{AF_UNIX, {}};
  std::strcpy(address.sun_path, path.c_str());
  ASSERT_EQ(::bind(service, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(sendClockSample(sender, path, sample), 0);
  struct { std::int64_t seconds, microseconds; double offset; std::int32_t pad[3], magic; } got;
  unsigned char raw[64];
  ASSERT_EQ(::recv(service, raw, sizeof raw, MSG_DONTWAIT), 40);
  std::memcpy(&got, raw, sizeof got);
  EXPECT_EQ(got.seconds, -1);
  EXPECT_EQ(got.microseconds, 999999);
  EXPECT_EQ(got.offset, -2.5);
  EXPECT_EQ(got.magic, 0x534f434b);
  ::close(service);
  EXPECT_EQ(sendClockSample(sender, path, sample), ECONNREFUSED);
  closeClockSampleSocket(sender);
  ::unlink(path.c_str());
  ::rmdir(folder);
}

}  // namespace
}  // namespace stampcast
