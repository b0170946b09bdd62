// Whole tests through the engine against pressbolt-target: the exact lines of both views, the
// tally, the charts and the log files.

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <set>

#include "EngineFixture.h"
#include "support/FixedResolver.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {
// A loopback port nobody listens on: bound once, then released.
int unusedport() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);
  return ntohs(a.sin_port);
}
const std::string kBy = "(by Pressbolt Version 4.4, http://www.pressbolt.example/)";
}  // namespace

TEST_F(EngineTest, OneUserRunWritesEveryLineOfBothViewsAndBothFiles) {
  host.s.url = target.url("/size/100");
  runtest();
  ASSERT_TRUE(host.finished);
  const std::string url = target.url("/size/100");
  const std::string body = readfile(dir.file("temp.htm"));
  ASSERT_EQ(body.size(), 100u);
  // 100 pattern bytes in one line without a line end: the view ends that line with CR LF.
  const std::string L = "102";
  std::vector<std::string> expected = {
      "TS: Server Load Test Logfile " + kBy,
      "TS: Tested URL: " + url,
      "TS:  ",
      "TS: Settings: 1 simultaneous users",
      "TS: Settings: use GET requests",
      "TS: Client system: #",
      "TS: Client system: #",
      "TS: Time measurement resolution: 0.001 \u00b5sec (=1/1000 msec), clock runs at 1000MHz",
      "TS: Test is starting",
      "TS: ----------------------------------------------------",
      "TS: START RUN: 1",
      "TS: Allocating memory",
      "TS: Allocating Request 1",
      "TS: Data is being saved to <dir>/temp.htm",
      "TS: Memory Allocation done",
      "TS: Starting request 1",
      "TS: Created 1 requests in #ms (equals ~# requests per second)",
      "TS: Time to first byte: ~# msec (which was the first byte of request #1)",
      "TS: Request 1 Done: # ms, HTTP-StatusCode = 200 (OK), Socketcode = 0 (No Error)",
      "TS: Received " + L + " Bytes (1st request)",
      "TS: Resulting statuscodes:",
      "TS: 1x \"200\" (=OK)",
      "TS:  ",
      "TS: Average Results of this Run:",
      "TS:   Overall Time: # msec",
      "TS:   Average Request Processing Time: # msec (equals ~# requests/h)",
      "TS:   Average User Wait Time: # msec for 1 simultaneous users",
      "TS:   Total Bytes: 100 Bytes (0 kB) (Throughput ~# kB/sec)",
      "TS: RUN DONE",
      "TS: " + std::string(51, '='),
      "TS: ",
      "TS: Average Results of All Runs:",
      "TS:   Average Request Processing Time after 1 runs: # msec (equals ~# requests/h)",
      "TS:   Average User Wait Time: # msec for 1 simultaneous users",
      "TS:  ",
      "TS: Saving log to \"<dir>/Pressbolt Results.log\"",
      "TS: Saving detailed log to \"<dir>/Pressbolt Detailed Results.log\"",
  };
  EXPECT_THAT(maskedlog(), ElementsAreArray(expected));

  std::vector<std::string> results = {
      "Server Load Test Results " + kBy,
      "Tested URL: " + url,
      "Settings: use GET requests",
      "Settings: 1 simultaneous users",
      "Client system: #",
      "Client system: #",
      "Test run on #",
      " ",
      "",
      "Results of run 1",
      "Created 1 requests in #ms (equals ~# requests per second)",
      "Time to first byte: ~# msec",
      "Number of Bytes in Result: " + L + " Bytes (1st request)",
      "Resulting statuscodes: 1x\"200\" (=OK), ",
      "Average Request Processing Time after 1 runs: # msec (equals ~# requests/h)",
      "Average User Wait Time: # msec for 1 simultaneous users",
      "",
      "",
      "Glossary:",
  };
  std::vector<std::string> got = maskedresults();
  ASSERT_EQ(got.size(), results.size() + 4);
  EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + results.size()), results);
  EXPECT_EQ(got.back().rfind("Please note: a server usually processes", 0), 0u);
  EXPECT_EQ(logs.resultlines()[0].style, TLineStyle::highlight);
  EXPECT_EQ(logs.resultlines()[9].style, TLineStyle::highlight);
  EXPECT_EQ(logs.resultlines()[14].style, TLineStyle::bold);

  // The files hold the views exactly, one CR LF per line, without formatting.
  std::string resultsfile;
  for (const auto& l : logs.resultlines()) resultsfile += l.text + "\r\n";
  EXPECT_EQ(readfile(dir.file("Pressbolt Results.log")), resultsfile);
  std::string logfile;
  for (const auto& l : logs.loglines()) logfile += l + "\r\n";
  EXPECT_EQ(readfile(dir.file("Pressbolt Detailed Results.log")), logfile);

  // The first-request views and the chart.
  EXPECT_EQ(host.sourcetext.rfind("HTML Source (" + L + " Bytes)\r\n", 0), 0u);
  ASSERT_FALSE(host.headerlines.empty());
  EXPECT_EQ(host.headerlines.front(), "HTTP/1.0 200 OK");
  EXPECT_EQ(host.headerlines.back(), "");
  ASSERT_EQ(charts.requests().size(), 1u);
  EXPECT_EQ(charts.requests()[0].statuscode, 200);
  EXPECT_EQ(charts.foot()[0], "Resulting statuscodes: 1x\"200\" (=OK), ");
  EXPECT_EQ(charts.foot()[1], "1 simultaneous users");
  EXPECT_EQ(charts.chart1title(), "Load test: " + url);
  EXPECT_TRUE(host.startenabled);
  EXPECT_TRUE(host.resultsvisible);
  EXPECT_TRUE(host.dialogs.empty());
}

TEST_F(EngineTest, ThreeRunsWithoutWaitAverageOverAllRuns) {
  host.s.url = target.url("/size/10");
  host.s.users = 4;
  host.s.runs = 3;
  runtest();
  ASSERT_TRUE(host.finished);
  EXPECT_THAT(logwith("START RUN"), ElementsAre("START RUN: 1", "START RUN: 2", "START RUN: 3"));
  EXPECT_THAT(
      logwith("  Average Request Processing Time after"),
      ElementsAre("  Average Request Processing Time after 1 runs: # msec (equals ~# requests/h)",
                  "  Average Request Processing Time after 2 runs: # msec (equals ~# requests/h)",
                  "  Average Request Processing Time after 3 runs: # msec (equals ~# requests/h)"));
  EXPECT_EQ(charts.requests().size(), 12u);
  EXPECT_EQ(logwith("  Total Bytes: 40 Bytes (0 kB)").size(), 3u);
  // Run 2 starts after a line holding only the time stamp.
  auto log = maskedlog();
  auto at = std::find(log.begin(), log.end(), "TS: START RUN: 2");
  ASSERT_NE(at, log.end());
  EXPECT_EQ(*(at - 1), "TS: ");
  // Only the first user of run 1 saves its response.
  EXPECT_EQ(logwith("Data is being saved to").size(), 1u);
}

TEST_F(EngineTest, WaitBetweenRunsSeparatesThePointsOfEachRun) {
  host.s.url = target.url("/size/10");
  host.s.users = 2;
  host.s.runs = 2;
  host.s.waitperrun = 2;
  runtest();
  ASSERT_TRUE(host.finished);
  ASSERT_EQ(charts.requests().size(), 4u);
  long double lastofrun1 = std::max(charts.requests()[0].x + charts.requests()[0].y,
                                    charts.requests()[1].x + charts.requests()[1].y);
  // The timer fires no earlier than 2005 ms after the last completion of run 1.
  EXPECT_GE(charts.requests()[2].x - lastofrun1, 2000);
  EXPECT_EQ(testdescription(host.s), "2 simultaneous users - 2 runs - wait for 2s");
}

TEST_F(EngineTest, RampTestGrowsTheUsersAndPlotsBothCurves) {
  host.s.url = target.url("/size/10");
  host.s.users = 20;
  host.s.runs = 8;
  host.s.ramptest = true;
  runtest();
  ASSERT_TRUE(host.finished);
  std::vector<int> users;
  for (const auto& p : charts.ramps()) users.push_back(p.users);
  EXPECT_THAT(users, ElementsAre(2, 5, 8, 10, 12, 15, 18, 20));
  EXPECT_EQ(charts.rampwaits().size(), 8u);
  EXPECT_EQ(charts.ramps()[0].label, "ok");
  EXPECT_EQ(charts.requests().size(), 90u);
  EXPECT_EQ(charts.chart2title(), "Ramp test: " + target.url("/size/10"));
  EXPECT_THAT(logwith("  Average Request Processing Time for 20"),
              ElementsAre("  Average Request Processing Time for 20 simultaneous users: # msec "
                          "(equals ~# requests/h)"));
  EXPECT_TRUE(logwith("Average Results of All Runs:").empty());
}

TEST_F(EngineTest, RampErrorLabelCountsEveryNonOkAnswer) {
  host.s.url = target.url("/status/500");
  host.s.users = 4;
  host.s.runs = 2;
  host.s.ramptest = true;
  runtest();
  ASSERT_EQ(charts.ramps().size(), 2u);
  EXPECT_EQ(charts.ramps()[0].label, "100% Errors");
  EXPECT_EQ(charts.ramps()[0].users, 2);
}

TEST_F(EngineTest, AllNotFoundListsTheEmpty200EntryFirst) {
  host.s.url = target.url("/nothing-here");
  host.s.users = 3;
  runtest();
  EXPECT_THAT(logwith("3x"), ElementsAre("3x \"404\" (=Not Found)"));
  EXPECT_THAT(logwith("0x"), ElementsAre("0x \"200\" (=OK)"));
  EXPECT_EQ(charts.foot()[0], "Resulting statuscodes: 0x\"200\" (=OK), 3x\"404\" (=Not Found), ");
  for (const auto& p : charts.requests()) EXPECT_EQ(p.statuscode, 404);
}

TEST_F(EngineTest, ClosedWithoutAnswerIsATimeout) {
  host.s.url = target.url("/close");
  host.s.users = 2;
  runtest();
  EXPECT_THAT(logwith("Request 1 Done"),
              ElementsAre("Request 1 Done: # ms, HTTP-StatusCode = 0 ((unknown http result)), "
                          "Socketcode = 0 (No Error)"));
  EXPECT_THAT(logwith("2x"), ElementsAre("2x \"0\" (=(unknown http result))"));
  EXPECT_TRUE(logwith("Time to first byte").empty());
  EXPECT_THAT(logwith("  Total Bytes"),
              ElementsAre("  Total Bytes: 0 Bytes (0 kB) (Throughput ~# kB/sec)"));
}

TEST_F(EngineTest, RefusedConnectionIsA404WithItsSocketCode) {
  host.s.url = "http://127.0.0.1:" + std::to_string(unusedport()) + "/";
  runtest();
  EXPECT_THAT(logwith("Request 1 Done"),
              ElementsAre("Request 1 Done: # ms, HTTP-StatusCode = 404 (Not Found), Socketcode = "
                          "10061 (Connection refused.)"));
  ASSERT_EQ(charts.requests().size(), 1u);
  EXPECT_EQ(charts.requests()[0].statuscode, 404);
}

TEST_F(EngineTest, UnknownHostIsA404WithCode11001) {
  TFixedResolver names;
  host.s.url = "http://no-such-host.invalid/";
  runtest();
  EXPECT_THAT(logwith("Request 1 Done"),
              ElementsAre("Request 1 Done: # ms, HTTP-StatusCode = 404 (Not Found), Socketcode = "
                          "11001 (ICMP_BUFFER_TOO_SMALL)"));
}

TEST_F(EngineTest, MultipleUrlsAreTakenInTurn) {
  host.s.multipleurls = true;
  host.urls = {target.url("/size/1"), target.url("/size/2"), target.url("/size/3")};
  host.s.users = 7;
  runtest();
  ASSERT_TRUE(host.finished);
  auto lines = logwith("Allocating Request ");
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "Allocating Request 1 Used URL#1: \"" + host.urls[0] + "\"");
  EXPECT_EQ(lines[3], "Allocating Request 4 Used URL#1: \"" + host.urls[0] + "\"");
  EXPECT_EQ(lines[5], "Allocating Request 6 Used URL#3: \"" + host.urls[2] + "\"");
  EXPECT_THAT(logwith("  Total Bytes"),
              ElementsAre("  Total Bytes: 13 Bytes (0 kB) (Throughput ~# kB/sec)"));
  EXPECT_EQ(charts.chart1title(), "Load test: (multiple URLs)");
  EXPECT_TRUE(haslog("Testing Multiple URLs:"));
  EXPECT_TRUE(haslog("URL#2: " + host.urls[1]));
}

TEST_F(EngineTest, KeyOffsetNumbersTheUsersInEveryRun) {
  host.s.url = target.url("/echo?id=@@");
  host.s.users = 2;
  host.s.runs = 2;
  host.s.usekey = true;
  host.s.keyoffset = 1000;
  host.s.writedata = true;
  runtest();
  EXPECT_THAT(logwith("Allocating Request "),
              ElementsAre("Allocating Request 1, Key: 1001", "Allocating Request 2, Key: 1002",
                          "Allocating Request 1, Key: 1001", "Allocating Request 2, Key: 1002"));
  EXPECT_EQ(logwith("GET /echo?id=1001 HTTP/1.0").size(), 2u);
  EXPECT_EQ(logwith("GET /echo?id=1002 HTTP/1.0").size(), 2u);
}

TEST_F(EngineTest, PostSendsTheDataToEveryUser) {
  host.s.url = target.url("/echo");
  host.s.users = 2;
  host.s.usepost = true;
  host.s.postdata = "a=1&b=2";
  host.s.writedata = true;
  runtest();
  EXPECT_TRUE(haslog("Settings: use POST requests using POST-data=a=1&b=2"));
  int bodies = 0;
  for (const auto& l : logs.loglines()) {
    if (l.find("POST /echo HTTP/1.0") != std::string::npos &&
        l.find("Content-Length: 7\r\n") != std::string::npos && l.size() >= 7 &&
        l.compare(l.size() - 7, 7, "a=1&b=2") == 0) {
      ++bodies;
    }
  }
  EXPECT_EQ(bodies, 2);
}

TEST_F(EngineTest, EveryUserReadsTheOneBodyOfTheRun) {
  host.s.url = target.url("/echo");
  host.s.users = 30;
  host.s.usepost = true;
  host.s.postdata = std::string(300000, 'p');
  std::set<const std::string*> bodies;
  size_t readers = 0;
  // Every tenth user the launcher processes messages: the clients made so far are all there.
  host.onprocessmessages = [&] {
    for (mythttpcli* c : engine.clients) {
      if (c == nullptr || c->postbody == nullptr) continue;
      ++readers;
      bodies.insert(c->postbody->Data().get());
      EXPECT_EQ(c->PostStream, c->postbody.get());
    }
  };
  runtest();
  EXPECT_GE(readers, 30u);
  EXPECT_EQ(bodies.size(), 1u) << "one body for the run, not one per user";
  // /echo sends the request back: each user's whole body went out.
  EXPECT_GE(engine.runbytes, int64_t(30) * 300000);
  // The settings line keeps the first 1000 bytes and says how much there was.
  EXPECT_TRUE(haslog("Settings: use POST requests using POST-data=" + std::string(1000, 'p') +
                     " ... (cut here: 300000 Bytes in all)"));
}

TEST_F(EngineTest, HeadersAreLoggedOnlyForErrorsWhenAsked) {
  host.s.multipleurls = true;
  host.urls = {target.url("/size/5"), target.url("/status/503")};
  host.s.users = 2;
  host.s.writeheaders = true;
  host.s.onerroronly = true;
  runtest();
  EXPECT_TRUE(haslog("Headers: HTTP/1.0 503 Service Unavailable"));
  EXPECT_FALSE(haslog("Headers: HTTP/1.0 200 OK"));
}

TEST_F(EngineTest, RefusesAnUnreadableCaFileAndAnEmptyUrlListWithoutTouchingTheViews) {
  logs.log("earlier test");
  host.s.url = "https://127.0.0.1:1/";
  host.s.cafile = dir.file("no-such-ca.pem");
  engine.start();
  ASSERT_EQ(host.dialogs.size(), 1u);
  EXPECT_EQ(host.dialogs[0].rfind("\r\n\r\ncannot read the CA file \"" + host.s.cafile + "\": ", 0),
            0u)
      << host.dialogs[0];
  host.s.cafile.clear();
  host.s.multipleurls = true;
  host.urls = {"https://in-the-list-is-fine.test/"};
  host.urls.clear();
  engine.start();
  ASSERT_EQ(host.dialogs.size(), 2u);
  EXPECT_EQ(host.dialogs[1],
            "\r\n\r\nNo URLs to test! Enter your URLs in the \"multiple URLs\" window or switch to "
            "\"single URL\"\r\n\r\n");
  EXPECT_EQ(logs.loglines().size(), 1u);
  EXPECT_EQ(engine.phase(), TLoadEngine::TPhase::idle);
}

TEST_F(EngineTest, UnwritableOutputIsRefusedBeforeAnythingRuns) {
  writefile(dir.file("plainfile"), "x");
  for (std::string out :
       {dir.file("plainfile") + "/sub", dir.file("plainfile"), dir.file("gone")}) {
    host.dialogs.clear();
    engine.setoutputdir(out);
    host.s.url = target.url("/size/10");
    engine.start();
    EXPECT_TRUE(engine.refused) << out;
    ASSERT_EQ(host.dialogs.size(), 1u) << out;
    EXPECT_NE(host.dialogs[0].find("Cannot write the result files to \"" + out + "\": "),
              std::string::npos)
        << host.dialogs[0];
    EXPECT_TRUE(logs.loglines().empty());
    EXPECT_EQ(engine.phase(), TLoadEngine::TPhase::idle);
    EXPECT_TRUE(host.startenabled);
  }
}
