// pressbolt-cli as scripts run it: options, exit status, stdout, the log files, the Host line
// servers and proxies see, and a run of 20000 users that outgrows the descriptor table.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "support/TargetServer.h"
#include "support/TestSupport.h"

namespace {

struct TRun {
  int status = -1;
  std::string out;
};

// Runs pressbolt-cli with args (a shell-quoted string) in dir; stdout is captured.
TRun runcli(const std::string& dir, const std::string& args) {
  std::string cmd = "cd '" + dir + "' && '" PRESSBOLT_CLI_PATH "' " + args + " 2>/dev/null";
  TRun r;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

TEST(Cli, RunsATestPrintsTheResultsAndWritesBothFiles) {
  TTargetServer target;
  TTempDir dir;
  TRun r = runcli(dir.path(),
                  "--users 3 --runs 2 --output-dir '" + dir.path() + "' " + target.url("/size/20"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("Server Load Test Results (by Pressbolt Version 4.4", 0), 0u);
  EXPECT_EQ(count(r.out, "Resulting statuscodes: 3x\"200\" (=OK), "), 2);
  EXPECT_NE(r.out.find("Average Request Processing Time after 2 runs: "), std::string::npos);
  EXPECT_NE(r.out.find("Glossary:"), std::string::npos);
  std::string results = readfile(dir.file("Pressbolt Results.log"));
  EXPECT_NE(results.find("Glossary:\r\n"), std::string::npos);
  EXPECT_EQ(count(readfile(dir.file("Pressbolt Detailed Results.log")), " Done: "), 6);
  EXPECT_EQ(readfile(dir.file("temp.htm")).size(), 20u);
}

TEST(Cli, BadOptionsExitWithTwo) {
  TTempDir dir;
  EXPECT_EQ(runcli(dir.path(), "--users 0 http://127.0.0.1/").status, 2);
  EXPECT_EQ(runcli(dir.path(), "--users 20001 http://127.0.0.1/").status, 2);
  EXPECT_EQ(runcli(dir.path(), "--no-such-option http://127.0.0.1/").status, 2);
  EXPECT_EQ(runcli(dir.path(), "").status, 2);
  EXPECT_EQ(runcli(dir.path(), "--urls missing.txt").status, 2);
  writefile(dir.file("urls.txt"), "http://127.0.0.1/\n");
  EXPECT_EQ(runcli(dir.path(), "--urls urls.txt http://127.0.0.1/").status, 2);
}

TEST(Cli, RefusedStartsExitWithOne) {
  TTempDir dir;
  // The cookie cache cannot be created where a directory of that name stands.
  std::filesystem::create_directory(dir.file("cookies.txt"));
  EXPECT_EQ(runcli(dir.path(), "--preserve-cookies http://127.0.0.1:1/").status, 1);
}

TEST(Cli, OptionsReachTheRequests) {
  TTargetServer target;
  TTempDir dir;
  writefile(dir.file("users.txt"), "ann@@one\n");
  TRun r = runcli(dir.path(),
                  "--users 1 --agent 'Mozilla/4.0 (compatible; MSIE 4.0; Windows NT)' "
                  "--users-file --post 'x=1' --key-offset 41 --write-data "
                  "--output-dir . " +
                      target.url("/echo?k=@@"));
  ASSERT_EQ(r.status, 0);
  std::string log = readfile(dir.file("Pressbolt Detailed Results.log"));
  EXPECT_NE(log.find("POST /echo?k=42 HTTP/1.0\r\n"), std::string::npos);
  EXPECT_NE(log.find("User-Agent: Mozilla/4.0 (compatible; MSIE 4.0; Windows NT)\r\n"),
            std::string::npos);
  EXPECT_NE(log.find("Authorization: Basic YW5uOm9uZQ==\r\n"), std::string::npos);
  EXPECT_NE(log.find("Allocating Request 1, Key: 42, Username:ann"), std::string::npos);
}

TEST(Cli, ProxyOptionSendsTheAbsoluteTarget) {
  TTargetServer target;
  TTempDir dir;
  TRun r = runcli(dir.path(), "--proxy " + target.hostport() +
                                  " --write-data --output-dir . http://example.test/echo");
  ASSERT_EQ(r.status, 0);
  std::string log = readfile(dir.file("Pressbolt Detailed Results.log"));
  EXPECT_NE(log.find("GET http://example.test/echo HTTP/1.0\r\n"), std::string::npos);
  EXPECT_NE(log.find("Settings: Proxy: 127.0.0.1:" + std::to_string(target.port())),
            std::string::npos);
}

// Servers build their redirects from the Host line and proxies hold it against the request target:
// it names a port other than 80 on the first request, after a relocation and through a proxy. The
// target answers 200 only when the Host line is exactly the "is" parameter.
TEST(Cli, TheHostLineNamesAPortOtherThan80) {
  TTempDir dir;
  TTargetServer target({"--log"}, dir.file("target.log"));
  const std::string here = "127.0.0.1:" + std::to_string(target.port());
  const std::string check = "/host?is=" + here;
  const std::string moved =
      "/redirect?to=%2Fhost%3Fis%3D127.0.0.1%3A" + std::to_string(target.port());
  for (const std::string& args :
       {"--users 20 " + target.url(check), "--users 20 " + target.url(moved),
        "--users 20 --proxy " + here + " 'http://origin.invalid:81/host?is=origin.invalid:81'",
        "--users 20 --proxy " + here + " 'http://origin.invalid:80/host?is=origin.invalid'"}) {
    TRun r = runcli(dir.path(), "-q --output-dir . " + args);
    ASSERT_EQ(r.status, 0) << args;
    EXPECT_EQ(count(readfile(dir.file("Pressbolt Results.log")), "20x\"200\""), 1) << args;
  }
  std::string served = readfile(dir.file("target.log"));
  EXPECT_EQ(count(served, "GET " + check + " 200\n"), 40);
  EXPECT_EQ(count(served, "GET http://origin.invalid:81/host?is=origin.invalid:81 200\n"), 20);
  EXPECT_EQ(count(served, " 400\n"), 0);
}

// More users than descriptors: the users beyond the table complete as 404 with code 10024, and the
// test still runs to its end.
TEST(Cli, TwentyThousandUsersOutgrowTheDescriptorTableCleanly) {
  TTargetServer target;
  TTempDir dir;
  TRun r = runcli(dir.path(), "--users 20000 --output-dir . " + target.url("/size/10"));
  ASSERT_EQ(r.status, 0);
  std::string log = readfile(dir.file("Pressbolt Detailed Results.log"));
  EXPECT_EQ(count(log, " Done: "), 20000);
  int ok = count(log, "HTTP-StatusCode = 200 (OK), Socketcode = 0");
  int full = count(log, "Socketcode = 10024 (Too many open files.)");
  EXPECT_EQ(ok + full, 20000) << ok << " ok, " << full << " out of descriptors";
  EXPECT_GT(ok, 15000);
}
