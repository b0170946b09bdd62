// Log files: exact bytes, overwriting, failures with a clear message, and where files go.

#include "results/LogFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "results/TempFiles.h"
#include "support/TestSupport.h"

namespace {

TEST(LogFile, SaveLinesWritesEachLineWithCrLf) {
  TTempDir dir;
  std::string path = dir.file("log.txt");
  std::string error;
  ASSERT_TRUE(savelines(path, {"first", "", " ", "Gr\xC3\xBC\xC3\x9F\x65 \xC2\xB5sec"}, error))
      << error;
  EXPECT_EQ(readfile(path),
            "first\r\n\r\n \r\n"
            "Gr\xC3\xBC\xC3\x9F\x65 \xC2\xB5sec\r\n");
  // No lines make an empty file.
  ASSERT_TRUE(savelines(path, {}, error));
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(readfile(path), "");
}

TEST(LogFile, SavingOverwritesAndNeverAppends) {
  TTempDir dir;
  std::string path = dir.file("Pressbolt Results.log");
  writefile(path, std::string(5000, 'o'));
  std::string error;
  ASSERT_TRUE(savelines(path, {"second test"}, error)) << error;
  EXPECT_EQ(readfile(path), "second test\r\n");
}

TEST(LogFile, LargeLogIsWrittenWhole) {
  TTempDir dir;
  std::vector<std::string> lines;
  std::string expected;
  for (int i = 0; i < 60000; ++i) {
    lines.push_back("line " + std::to_string(i) + std::string(20, 'x'));
    expected += lines.back() + "\r\n";
  }
  std::string error;
  ASSERT_TRUE(savelines(dir.file("big.log"), lines, error)) << error;
  EXPECT_EQ(readfile(dir.file("big.log")), expected);
}

TEST(LogFile, SaveResultsDropsTheFormatting) {
  TTempDir dir;
  std::vector<TResultLine> lines = {{"Results of run 1", TLineStyle::highlight},
                                    {"Average", TLineStyle::bold},
                                    {" ", TLineStyle::plain}};
  std::string error;
  ASSERT_TRUE(saveresults(dir.file("r.log"), lines, error)) << error;
  EXPECT_EQ(readfile(dir.file("r.log")), "Results of run 1\r\nAverage\r\n \r\n");
}

TEST(LogFile, UnwritablePathFailsWithAClearMessage) {
  TTempDir dir;
  // A regular file cannot hold files, even for root.
  writefile(dir.file("file"), "x");
  std::string path = dir.file("file") + "/x.log";
  std::string error;
  EXPECT_FALSE(savelines(path, {"a"}, error));
  EXPECT_EQ(error, "Cannot create file \"" + path + "\". Not a directory");
  error.clear();
  EXPECT_FALSE(saveresults(dir.file("missing") + "/r.log", {{"a", TLineStyle::plain}}, error));
  EXPECT_EQ(error.rfind("Cannot create file \"", 0), 0u) << error;
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

TEST(LogFile, FullDeviceIsReportedNotSwallowed) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  std::string error;
  EXPECT_FALSE(savelines("/dev/full", {"a", "b"}, error));
  EXPECT_EQ(error, "Cannot write file \"/dev/full\". No space left on device");
}

TEST(LogFile, ProgramDirIsTheDirectoryOfThisExecutable) {
  std::string dir = programdir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
  EXPECT_EQ(dir, self.parent_path().string() + "/");
}

// Sets or removes an environment variable for one test.
struct TEnvGuard {
  std::string name;
  bool had;
  std::string old;
  TEnvGuard(const char* n, const char* value) : name(n) {
    const char* v = std::getenv(n);
    had = v != nullptr;
    if (had) old = v;
    if (value)
      setenv(n, value, 1);
    else
      unsetenv(n);
  }
  ~TEnvGuard() {
    if (had)
      setenv(name.c_str(), old.c_str(), 1);
    else
      unsetenv(name.c_str());
  }
};

TEST(LogFile, WritableProgramDirectoryIsUsedWithoutNote) {
  TTempDir dir;
  std::string note = "stale";
  std::string preferred = dir.path() + "/";
  EXPECT_EQ(outputdirfor(preferred, &note), preferred);
  EXPECT_EQ(note, "");
}

TEST(LogFile, UnwritableProgramDirectoryFallsBackToTheDataDirectory) {
  TTempDir dir;
  TEnvGuard xdg("XDG_DATA_HOME", dir.file("data").c_str());
  writefile(dir.file("file"), "x");
  std::string preferred = dir.file("file") + "/sub/";
  std::string note;
  std::string out = outputdirfor(preferred, &note);
  EXPECT_EQ(out, dir.file("data") + "/pressbolt/");
  EXPECT_TRUE(std::filesystem::is_directory(out));
  EXPECT_EQ(note, "The program directory \"" + preferred + "\" is not writable: files go to \"" +
                      out + "\"");
  std::string error;
  EXPECT_TRUE(savelines(out + "Pressbolt Results.log", {"ok"}, error)) << error;
}

TEST(LogFile, InstalledProgramDirectoriesAreNeverOutputDirectories) {
  for (const char* dir : {"/usr/bin/", "/usr/local/bin", "/bin/", "/sbin/", "/opt/pressbolt/bin/"})
    EXPECT_TRUE(issystemdir(dir)) << dir;
  for (const char* dir : {"/work/build/src/", "/home/tester/pressbolt/", "/tmp/x/", "/usrdata/"})
    EXPECT_FALSE(issystemdir(dir)) << dir;
}

TEST(LogFile, DataDirectoryFollowsTheBaseDirectoryRules) {
  {
    TEnvGuard xdg("XDG_DATA_HOME", "/somewhere/data");
    EXPECT_EQ(datadir(), "/somewhere/data/pressbolt/");
  }
  {
    // A relative XDG_DATA_HOME is ignored, as is an unset one.
    TEnvGuard xdg("XDG_DATA_HOME", "relative");
    TEnvGuard home("HOME", "/home/tester");
    EXPECT_EQ(datadir(), "/home/tester/.local/share/pressbolt/");
  }
  {
    TEnvGuard xdg("XDG_DATA_HOME", nullptr);
    TEnvGuard home("HOME", "/home/tester/");
    EXPECT_EQ(datadir(), "/home/tester/.local/share/pressbolt/");
  }
}

// Lowers the largest file this process may write, as a nearly full disk would; restored at the
// end of the scope. Writes past it fail with EFBIG instead of raising SIGXFSZ.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    oldhandler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = old_;
    lowered.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    signal(SIGXFSZ, oldhandler_);
  }

 private:
  rlimit old_{};
  sighandler_t oldhandler_;
};

TEST(LogFile, AFailedWriteLeavesThePreviousFileWholeAndNoTemporaryFile) {
  TTempDir dir;
  std::string path = dir.file("Pressbolt Detailed Results.log");
  writefile(path, "previous test\r\n");
  std::vector<std::string> lines(20000, std::string(100, 'n'));
  std::string error;
  {
    TFileSizeLimit full(64 * 1024);
    EXPECT_FALSE(savelines(path, lines, error));
  }
  EXPECT_EQ(error, "Cannot write file \"" + path + "\". File too large");
  EXPECT_EQ(readfile(path), "previous test\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(LogFile, WriterStreamsLinesAndReplacesTheFileOnlyAtCommit) {
  TTempDir dir;
  std::string path = dir.file("log.txt");
  writefile(path, "old\r\n");
  std::string error;
  TLogFileWriter writer;
  ASSERT_TRUE(writer.open(path, error)) << error;
  writer.append("one");
  writer.append("two");
  EXPECT_EQ(readfile(path), "old\r\n");
  ASSERT_TRUE(writer.commit(error)) << error;
  EXPECT_EQ(readfile(path), "one\r\ntwo\r\n");
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IRGRP, 0u) << "as readable as a file made by open()";

  // Discarded (or dropped unsaved): the file stays as it was.
  {
    TLogFileWriter dropped;
    ASSERT_TRUE(dropped.open(path, error));
    dropped.append("lost");
  }
  EXPECT_EQ(readfile(path), "one\r\ntwo\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(LogFile, AFileSinkWritesEveryLineAsTheViewKeepsIt) {
  TTempDir dir;
  std::string path = dir.file("detailed.log");
  std::string error;
  TLogFileWriter writer;
  ASSERT_TRUE(writer.open(path, error)) << error;
  TLogModel model;
  model.setfilesink(&writer);
  model.log("first");
  model.log("");
  // Longer than a block, between lines that fill several blocks.
  for (int i = 0; i < 3000; ++i) model.log("line " + std::to_string(i) + std::string(30, 'x'));
  model.log(std::string(200000, 'L'));
  for (int i = 0; i < 3000; ++i) model.log("after " + std::to_string(i));
  ASSERT_TRUE(writer.commit(error)) << error;
  std::string expected;
  for (const std::string& line : model.loglines()) expected += line + "\r\n";
  ASSERT_EQ(model.loglines().size(), 6003u);
  EXPECT_EQ(readfile(path), expected);
}

TEST(LogFile, AForcedExitFindsEveryOpenTemporaryFileAndOnlyThose) {
  TTempDir dir;
  const std::string path = dir.file("Pressbolt Results.log");
  writefile(path, "previous\r\n");
  const size_t before = listedtemps();
  std::string error;
  {
    TLogFileWriter writer;
    ASSERT_TRUE(writer.open(path, error)) << error;
    writer.append("half");
    EXPECT_EQ(listedtemps(), before + 1);
    // What a signal handler does before _exit: the temporary file goes, the old log stays.
    removetemps();
    EXPECT_EQ(readfile(path), "previous\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
  }
  EXPECT_EQ(listedtemps(), before);
  TLogFileWriter committed;
  ASSERT_TRUE(committed.open(path, error));
  ASSERT_TRUE(committed.commit(error)) << error;
  EXPECT_EQ(listedtemps(), before) << "a committed file is no longer anyone's debris";
}

TEST(LogFile, CanWriteInNamesWhatIsWrong) {
  TTempDir dir;
  std::string reason;
  EXPECT_TRUE(canwritein(dir.path(), reason)) << reason;
  EXPECT_FALSE(canwritein(dir.file("missing"), reason));
  EXPECT_EQ(reason, "No such file or directory");
  writefile(dir.file("file"), "x");
  EXPECT_FALSE(canwritein(dir.file("file"), reason));
  EXPECT_EQ(reason, "Not a directory");
  EXPECT_FALSE(canwritein("/proc/self", reason)) << "not writable even for root";
  // The probe leaves nothing behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

}  // namespace
