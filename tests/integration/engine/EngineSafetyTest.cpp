// Hostile input and failing disks: refused starts, dropped file lines, a relocation loop, the
// first response cut, and log files that are streamed and replaced only when written whole.

#include <gmock/gmock.h>
#include <sys/stat.h>

#include <filesystem>

#include "EngineFixture.h"
#include "http/HttpCodec.h"

namespace {

size_t filesin(const std::string& dir) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir),
                                           std::filesystem::directory_iterator()));
}

}  // namespace

TEST_F(EngineTest, HeaderBreakingInputIsRefusedAndNothingIsSent) {
  const std::string good = target.url("/echo");
  std::vector<std::function<void(TestSettings&)>> cases = {
      [&](TestSettings& s) { s.url = good + " HTTP/1.0\r\n\r\nGET /smuggled"; },
      [&](TestSettings& s) { s.useagent = true, s.agent = "Mozilla\r\nX-Evil: 1"; },
      [&](TestSettings& s) { s.useproxy = true, s.proxy = "127.0.0.1\n", s.proxyport = "1"; },
      [&](TestSettings& s) { s.usekey = true, s.keyoffset = INT64_MAX; },
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    host.s = TestSettings();
    host.s.url = good;
    cases[i](host.s);
    host.dialogs.clear();
    engine.start();
    EXPECT_TRUE(engine.refused) << i;
    ASSERT_EQ(host.dialogs.size(), 1u) << i;
    EXPECT_EQ(engine.phase(), TLoadEngine::TPhase::idle) << i;
    EXPECT_TRUE(logs.loglines().empty()) << i;
    EXPECT_EQ(filesin(dir.path()), 0u) << i;
  }
}

TEST_F(EngineTest, FileLinesWithACarriageReturnAreDroppedWithANote) {
  writefile("users.txt", "ann@@pw1\nev\ril@@x\ncid@@pw3\n");
  writefile("cookies.txt", "a=1\r\nb=\r2\r\nc=3\r\n");
  ASSERT_EQ(chmod("cookies.txt", 0444), 0);  // a fixed cookie source for run 1
  host.s.url = target.url("/echo");
  host.s.users = 3;
  host.s.useuser = host.s.usersfromfile = true;
  host.s.preservecookies = true;
  runtest();
  ASSERT_TRUE(host.finished);
  EXPECT_TRUE(haslog("Line 2 of \"users.txt\" holds a CR or NUL character and is not used"));
  EXPECT_TRUE(haslog("Line 2 of \"cookies.txt\" holds a CR or NUL character and is not used"));
  EXPECT_THAT(logwith("Allocating Request "),
              ::testing::ElementsAre("Allocating Request 1, Username:ann",
                                     "Allocating Request 2, Username:",
                                     "Allocating Request 3, Username:cid"));
  EXPECT_THAT(logwith("Using Cookies: "),
              ::testing::ElementsAre("Using Cookies: \"cookie: a=1\"", "Using Cookies: \"cookie: \"",
                                     "Using Cookies: \"cookie: c=3\""));
}

TEST_F(EngineTest, RelocationLoopEndsAfterTwentyHopsAsAFailedRequest) {
  host.s.url = target.url("/loop");
  host.s.users = 3;
  runtest();
  ASSERT_TRUE(host.finished);
  EXPECT_EQ(logwith("Request 2 Redirect: ").size(), 20u);
  std::vector<std::string> done = logwith("Request 2 Done: ");
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0],
            "Request 2 Done: # ms, HTTP-StatusCode = 404 (Not Found), Socketcode = 10062 (Too "
            "many levels of symbolic links.)");
  EXPECT_TRUE(haslog("Request 2 was relocated more than 20 times and not followed further"));
  EXPECT_EQ(engine.tally.statuscounts(2), 3);
}

TEST_F(EngineTest, DetailedLogIsStreamedAndTheViewIsCut) {
  logs.setmaxloglines(10);
  host.s.url = target.url("/size/10");
  host.s.users = 20;
  bool sawtemporary = false;
  host.onprocessmessages = [&] {
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
      if (e.path().filename().string().rfind("Pressbolt Detailed Results.log.", 0) == 0) {
        sawtemporary = true;
      }
    }
  };
  runtest();
  ASSERT_TRUE(host.finished);
  EXPECT_TRUE(sawtemporary);
  EXPECT_EQ(logs.loglines().size(), 11u);
  EXPECT_TRUE(logs.logcut());
  std::string file = readfile(dir.file("Pressbolt Detailed Results.log"));
  EXPECT_NE(file.find("TS: Request 20 Done: "), std::string::npos);
  EXPECT_NE(file.find("TS: Saving detailed log to "), std::string::npos);
  EXPECT_EQ(file.find("view ends here"), std::string::npos);
  EXPECT_EQ(filesin(dir.path()), 3u);  // temp.htm and the two logs, no temporary file
}

TEST_F(EngineTest, LogFileThatCannotBeReplacedIsReportedAndKept) {
  // A directory of the log's name cannot be replaced by a file: the rename fails at the finish.
  std::filesystem::create_directories(dir.file("Pressbolt Detailed Results.log/keep"));
  host.s.url = target.url("/size/10");
  runtest();
  ASSERT_TRUE(host.finished);
  EXPECT_TRUE(engine.savefailed);
  ASSERT_EQ(host.dialogs.size(), 1u);
  EXPECT_EQ(host.dialogs[0].rfind("Cannot write file \"" + dir.path() +
                                      "/Pressbolt Detailed Results.log\". ",
                                  0),
            0u)
      << host.dialogs[0];
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("Pressbolt Detailed Results.log/keep")));
  EXPECT_NE(readfile(dir.file("Pressbolt Results.log")).find("Glossary:"), std::string::npos);
  EXPECT_EQ(filesin(dir.path()), 3u);

  // The next test that can save clears the mark.
  std::filesystem::remove_all(dir.file("Pressbolt Detailed Results.log"));
  host.ended = false;
  runtest();
  ASSERT_TRUE(host.finished);
  EXPECT_FALSE(engine.savefailed);
}

TEST_F(EngineTest, HugeFirstResponseIsCutInTheFileAndCountedWhole) {
  const int64_t size = TFirstResponseFile::kKeepBytes + 1000;
  host.s.url = target.url("/size/" + std::to_string(size));
  host.s.exacttiming = false;
  runtest();
  ASSERT_TRUE(host.finished);
  EXPECT_EQ(std::filesystem::file_size(dir.file("temp.htm")),
            static_cast<uintmax_t>(TFirstResponseFile::kKeepBytes));
  EXPECT_TRUE(haslog("The first response has " + std::to_string(size) + " Bytes; <dir>/temp.htm" +
                     " keeps its first 16777216 Bytes"));
  EXPECT_NE(host.sourcetext.find("truncated to 31kb"), std::string::npos);
  EXPECT_LT(host.sourcetext.size(), 32000u);
}

TEST_F(EngineTest, PasswordsReachTheServerButNoLogFile) {
  writefile("users.txt", "ann@@users-secret\n");
  auto nosecrets = [&] {
    for (const char* file : {"Pressbolt Results.log", "Pressbolt Detailed Results.log"}) {
      std::string text = readfile(dir.file(file));
      EXPECT_FALSE(text.empty());
      for (const char* secret : {"url-secret", "field-secret", "users-secret"}) {
        EXPECT_EQ(text.find(secret), std::string::npos) << file << ": " << secret;
      }
    }
  };
  // /echo answers with the request, so temp.htm shows what was sent.
  host.s.url = "http://joe:url-secret@" + target.hostport() + "/echo";
  host.s.useuser = true;
  host.s.username = "joe";
  host.s.password = "field-secret";
  runtest();
  ASSERT_TRUE(host.finished);
  EXPECT_NE(readfile(dir.file("temp.htm")).find(EncodeBase64("joe:url-secret")), std::string::npos);
  EXPECT_TRUE(haslog("Tested URL: http://joe:***@" + target.hostport() + "/echo"));
  nosecrets();

  host.s.url = target.url("/echo");
  host.s.usersfromfile = true;
  host.ended = false;
  runtest();
  ASSERT_TRUE(host.finished);
  EXPECT_NE(readfile(dir.file("temp.htm")).find(EncodeBase64("ann:users-secret")),
            std::string::npos);
  nosecrets();
}
