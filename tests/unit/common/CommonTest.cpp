#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include <csignal>

#include "common/Text.h"
#include "common/WholeFile.h"
#include "support/TestSupport.h"

namespace {

TEST(Text, TrimTakesOnlyTheGivenBlanks) {
  EXPECT_EQ(trim("  a b\t"), "a b");
  EXPECT_EQ(trim(" \t "), "");
  EXPECT_EQ(trim(""), "");
  EXPECT_EQ(trim("\r\nx\r\n"), "\r\nx\r\n");  // line ends are not blanks unless asked for
  EXPECT_EQ(trim("\r\nx \r\n", " \t\r\n"), "x");
}

TEST(Text, AsciiLowerLeavesEveryOtherByteAlone) {
  EXPECT_EQ(asciilower("Content-LENGTH: 10"), "content-length: 10");
  EXPECT_EQ(asciilower("\xC3\x84RGER"), "\xC3\x84rger");  // UTF-8 bytes pass through
  EXPECT_EQ(asciilower("[@`{"), "[@`{");                  // the neighbours of A-Z and a-z
}

TEST(WholeFile, ReadsEveryByteOrReportsWhy) {
  TTempDir dir;
  std::string big(200000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 7);
  writefile(dir.file("big.bin"), big);
  std::string bytes = "old";
  EXPECT_EQ(readwholefile(dir.file("big.bin"), bytes), 0);
  EXPECT_EQ(bytes, big);

  bytes = "old";
  EXPECT_EQ(readwholefile(dir.file("missing"), bytes), ENOENT);
  EXPECT_EQ(bytes, "");
  EXPECT_EQ(readwholefile(dir.path(), bytes, TFileKinds::AnyReadable), EISDIR);
}

TEST(WholeFile, AFifoIsRefusedWithoutBlockingUnlessStreamsAreAllowed) {
  TTempDir dir;
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string bytes;
  EXPECT_EQ(readwholefile(fifo, bytes), EINVAL);  // returns at once: no writer is needed

  std::thread writer([&] {
    const int fd = ::open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    // Two writes: the reader must not stop at the first empty moment of the pipe.
    ASSERT_EQ(::write(fd, "first ", 6), 6);
    usleep(20000);
    ASSERT_EQ(::write(fd, "second", 6), 6);
    ::close(fd);
  });
  EXPECT_EQ(readwholefile(fifo, bytes, TFileKinds::AnyReadable), 0);
  writer.join();
  EXPECT_EQ(bytes, "first second");
}

// An input that never ends is refused, never read until memory runs out: a device at once, a
// stream or a file past the limit when it gets there. A result file is regular or "-" alone.
TEST(WholeFile, InputsThatNeverEndAreRefused) {
  TTempDir dir;
  std::string bytes;
  EXPECT_EQ(readwholefile("/dev/zero", bytes, TFileKinds::AnyReadable), ENODEV);
  EXPECT_EQ(readwholefile("/dev/zero", bytes, TFileKinds::RegularOrStdin), EINVAL);
  EXPECT_EQ(readwholefile("/dev/zero", bytes), EINVAL);
  writefile(dir.file("ten"), "0123456789");
  EXPECT_EQ(readwholefile(dir.file("ten"), bytes, TFileKinds::RegularOrStdin, 9), EFBIG);
  EXPECT_EQ(bytes, "");
  EXPECT_EQ(readwholefile(dir.file("ten"), bytes, TFileKinds::RegularOrStdin, 10), 0);
  EXPECT_EQ(bytes, "0123456789");

  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A FIFO named as a result is refused at once, with no writer.
  EXPECT_EQ(readwholefile(fifo, bytes, TFileKinds::RegularOrStdin), EINVAL);
  // A stream that goes on past the limit is cut off there; its writer sees the reader go.
  std::thread writer([&] {
    signal(SIGPIPE, SIG_IGN);
    const int fd = ::open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    const std::string block(65536, 'x');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    ::close(fd);
  });
  EXPECT_EQ(readwholefile(fifo, bytes, TFileKinds::AnyReadable, 1 << 20), EFBIG);
  writer.join();
  EXPECT_EQ(bytes, "");
}

}  // namespace
