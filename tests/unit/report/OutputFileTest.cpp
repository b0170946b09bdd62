// Result files written where they are asked for: a regular file replaced whole, anything else
// (a device, a FIFO, one of this process's descriptors) written straight into and left what it
// is, and a write that fails reported as failed.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "report/OutputFile.h"
#include "support/TestSupport.h"

namespace {

TEST(OutputFile, ADescriptorIsKnownUnderEachOfItsNames) {
  TTempDir dir;
  EXPECT_EQ(outputdescriptor("-"), 1);
  EXPECT_EQ(outputdescriptor("/dev/stdout"), 1);
  EXPECT_EQ(outputdescriptor("/dev/stderr"), 2);
  EXPECT_EQ(outputdescriptor("/dev/fd/7"), 7);
  EXPECT_EQ(outputdescriptor("/proc/self/fd/12"), 12);
  EXPECT_EQ(outputdescriptor("/proc/" + std::to_string(getpid()) + "/fd/3"), 3);
  std::filesystem::create_symlink("/dev/stdout", dir.file("out"));
  EXPECT_EQ(outputdescriptor(dir.file("out")), 1);
  EXPECT_EQ(outputdescriptor(dir.file("r.json")), -1);
  EXPECT_EQ(outputdescriptor("/dev/null"), -1);
  EXPECT_EQ(outputdescriptor("/dev/fd/x"), -1);
}

TEST(OutputFile, OnlyARegularFileIsReplaced) {
  TTempDir dir;
  std::string error;
  // A device stays a device, and a device that takes nothing is a failure.
  EXPECT_TRUE(writeoutput("/dev/null", "{}", error)) << error;
  struct stat st {};
  ASSERT_EQ(stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  EXPECT_FALSE(writeoutput("/dev/full", "{}", error));
  EXPECT_EQ(error, "cannot write \"/dev/full\": No space left on device");
  ASSERT_EQ(stat("/dev/full", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));

  // A FIFO is written into for its reader, and stays a FIFO.
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string got;
  std::thread reader([&] { got = readfile(fifo); });
  EXPECT_TRUE(writeoutput(fifo, "through the pipe", error)) << error;
  reader.join();
  EXPECT_EQ(got, "through the pipe");
  ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));

  // One of this process's descriptors is written to as it is open.
  int pipefd[2];
  ASSERT_EQ(pipe(pipefd), 0);
  EXPECT_TRUE(writeoutput("/dev/fd/" + std::to_string(pipefd[1]), "on fd", error)) << error;
  close(pipefd[1]);
  char buf[16] = {};
  EXPECT_EQ(read(pipefd[0], buf, sizeof buf), 5);
  EXPECT_EQ(std::string(buf), "on fd");
  close(pipefd[0]);
  EXPECT_FALSE(writeoutput("/dev/fd/987", "{}", error));
  EXPECT_EQ(error, "cannot write \"/dev/fd/987\": Bad file descriptor");

  // A regular file, also through a link, is replaced whole; the link stays a link.
  writefile(dir.file("real.json"), "old and longer");
  std::filesystem::create_symlink("real.json", dir.file("link.json"));
  EXPECT_TRUE(writeoutput(dir.file("link.json"), "new", error)) << error;
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.json")));
  EXPECT_EQ(readfile(dir.file("real.json")), "new");
}

}  // namespace
