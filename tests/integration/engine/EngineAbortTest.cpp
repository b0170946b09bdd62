// Abort during a run and during the wait, a start while a run waits, changed settings between
// runs, and a launch that fails half way.

#include <gmock/gmock.h>

#include <sstream>

#include "EngineFixture.h"

using ::testing::ElementsAre;

TEST_F(EngineTest, AbortDuringARunCompletesEveryRequestAndFinishes) {
  host.s.url = target.url("/hang");
  host.s.users = 20;
  host.s.runs = 3;
  host.s.exacttiming = false;
  engine.start();
  // Once every request has gone out and waits for its answer, the operator presses Abort.
  auto allwaiting = [&] {
    size_t waiting = 0;
    for (mythttpcli* c : engine.clients) waiting += c != nullptr && c->State() == hsWaitingHeader;
    return waiting == 20;
  };
  bool pressed = false;
  while (!host.ended && TEventLoop::Default().RunOnce(true)) {
    if (!pressed && allwaiting()) {
      pressed = true;
      engine.abort();
    }
  }
  ASSERT_TRUE(pressed);
  ASSERT_TRUE(host.finished);
  EXPECT_TRUE(engine.aborted);
  EXPECT_EQ(engine.runindex, 3);
  auto done = logwith("Request ");
  int aborted = 0;
  for (const auto& l : done) {
    aborted += l.find("HTTP-StatusCode = 404 (Not Found), Socketcode = 3 ((unknown errorcode))") !=
               std::string::npos;
  }
  EXPECT_EQ(aborted, 20);
  EXPECT_TRUE(logwith("Resulting statuscodes").empty());
  EXPECT_TRUE(haslog("Saving log to \"<dir>/Pressbolt Results.log\""));
  EXPECT_EQ(charts.requests().size(), 20u);
  EXPECT_TRUE(host.startenabled);
  EXPECT_EQ(engine.phase(), TLoadEngine::TPhase::idle);
}

TEST_F(EngineTest, AbortDuringTheWaitStopsWithoutTheFinish) {
  host.s.url = target.url("/size/1");
  host.s.runs = 2;
  host.s.waitperrun = 30;
  engine.start();
  while (engine.phase() != TLoadEngine::TPhase::waiting && TEventLoop::Default().RunOnce(true)) {
  }
  ASSERT_EQ(engine.phase(), TLoadEngine::TPhase::waiting);
  engine.abort();
  EXPECT_TRUE(host.ended);
  EXPECT_FALSE(host.finished);
  EXPECT_EQ(engine.phase(), TLoadEngine::TPhase::idle);
  EXPECT_TRUE(logwith("Saving log").empty());
  EXPECT_EQ(logwith("START RUN").size(), 1u);
}

TEST_F(EngineTest, StartWhileTheNextRunWaitsCancelsTheOldTest) {
  host.s.url = target.url("/size/1");
  host.s.runs = 2;
  host.s.waitperrun = 1;
  engine.start();
  while (engine.phase() != TLoadEngine::TPhase::waiting && TEventLoop::Default().RunOnce(true)) {
  }
  ASSERT_TRUE(host.startenabled);
  host.s.runs = 1;
  host.s.users = 3;
  runtest();
  ASSERT_TRUE(host.finished);
  // Only the new test is in the views: its single run of 3 users, and no run 2 of the old one.
  EXPECT_THAT(logwith("START RUN"), ElementsAre("START RUN: 1"));
  EXPECT_EQ(charts.requests().size(), 3u);
  TTimer grace(TEventLoop::Default());
  bool done = false;
  grace.Start(1200, [&] { done = true; });
  while (!done && TEventLoop::Default().RunOnce(true)) {
  }
  EXPECT_THAT(logwith("START RUN"), ElementsAre("START RUN: 1"));
}

TEST_F(EngineTest, RunsRaisedDuringTheLastRunAreHonoured) {
  host.s.url = target.url("/size/1");
  host.s.runs = 1;
  bool raised = false;
  host.onprocessmessages = [&] {
    if (!raised) host.s.runs = 2;
    raised = true;
  };
  runtest();
  ASSERT_TRUE(host.finished);
  EXPECT_THAT(logwith("START RUN"), ElementsAre("START RUN: 1", "START RUN: 2"));
}

TEST_F(EngineTest, ALaterRunRefusedByAStartCheckNamesTheWholeProblem) {
  host.s.url = target.url("/size/1");
  host.s.runs = 2;
  // The proxy is switched on without a host while run 2 waits.
  host.onrunend = [&] { host.s.useproxy = true; };
  runtest();
  EXPECT_FALSE(host.finished);
  ASSERT_EQ(host.dialogs.size(), 1u);
  EXPECT_EQ(host.dialogs[0],
            "Run 2 could not be launched: \"Use Proxy\" is on, but no proxy is given. Please "
            "enter the proxy's name or address, or turn \"Use Proxy\" off; the test was not "
            "started.");
  EXPECT_TRUE(engine.clients.empty());
}

TEST_F(EngineTest, LaunchThatFailsReleasesClientsAndReenablesStart) {
  host.s.multipleurls = true;
  host.urls = {target.url("/size/1")};
  host.s.runs = 2;
  // The list is emptied while run 2 waits: its launch cannot give the users a URL.
  host.onrunend = [&] { host.urls.clear(); };
  runtest();
  EXPECT_TRUE(host.ended);
  EXPECT_FALSE(host.finished);
  ASSERT_EQ(host.dialogs.size(), 1u);
  EXPECT_EQ(host.dialogs[0], "Run 2 could not be launched: No URLs to test");
  EXPECT_TRUE(host.startenabled);
  EXPECT_TRUE(engine.clients.empty());
  EXPECT_EQ(engine.phase(), TLoadEngine::TPhase::idle);
}

TEST_F(EngineTest, EmptyUrlLineCompletesAsAFailedRequest) {
  host.s.multipleurls = true;
  host.urls = {target.url("/size/1"), ""};
  host.s.users = 2;
  runtest();
  ASSERT_TRUE(host.finished);
  EXPECT_EQ(logwith("Request 2 could not be started: ").size(), 1u);
  EXPECT_THAT(logwith("Request 2 Done"),
              ElementsAre("Request 2 Done: # ms, HTTP-StatusCode = 404 (Not Found), Socketcode = 3 "
                          "((unknown errorcode))"));
}

TEST(RampUsers, HalvesGoToTheEvenNeighbourAndNeverBelowOne) {
  std::vector<int> got;
  for (int r = 0; r < 8; ++r) got.push_back(rampusers(20, 8, r));
  EXPECT_THAT(got, ElementsAre(2, 5, 8, 10, 12, 15, 18, 20));
  got.clear();
  for (int r = 0; r < 10; ++r) got.push_back(rampusers(3, 10, r));
  EXPECT_THAT(got, ElementsAre(1, 1, 1, 1, 2, 2, 2, 2, 3, 3));
  EXPECT_EQ(rampusers(5, 2, 0), 2);
  EXPECT_EQ(rampusers(100, 10, 9), 100);
}

// Abort handled at a message-processing point of the allocation: the run is dropped before its
// start loop, none of its requests is sent, and the test finishes as aborted with what completed.
class AbortDuringAllocation : public EngineTest {
 protected:
  // Requests the server has seen ("GET /size/10 200" lines of its log).
  size_t served() const {
    std::istringstream in(readfile(dir.file("requests.log")));
    size_t count = 0;
    for (std::string line; std::getline(in, line);) count += line.rfind("GET ", 0) == 0;
    return count;
  }
  TTargetServer logged{{"--log"}, dir.file("requests.log")};
};

TEST_F(AbortDuringAllocation, OfRunOneSendsNothing) {
  host.s.url = logged.url("/size/10");
  host.s.users = 50;
  host.s.runs = 2;
  int points = 0;
  // The test start processes messages once, then the launcher every tenth user: Abort at user 20.
  host.onprocessmessages = [&] {
    if (++points == 3) engine.abort();
  };
  runtest();
  ASSERT_TRUE(host.finished);
  EXPECT_TRUE(engine.clients.empty());
  EXPECT_EQ(engine.phase(), TLoadEngine::TPhase::idle);
  EXPECT_TRUE(host.startenabled);
  EXPECT_TRUE(logwith("Starting request").empty());
  EXPECT_TRUE(logwith("Memory Allocation done").empty());
  EXPECT_TRUE(haslog("Run 1 was aborted before its requests were started"));
  EXPECT_TRUE(haslog("Test aborted"));
  EXPECT_THAT(maskedresults(), ::testing::Contains("Test aborted"));
  EXPECT_TRUE(charts.requests().empty());
  // The files are written, and nothing reached the server, even after a moment on the loop.
  EXPECT_NE(readfile(dir.file("Pressbolt Detailed Results.log")).find("TS: Test aborted"),
            std::string::npos);
  TTimer grace(TEventLoop::Default());
  bool done = false;
  grace.Start(200, [&] { done = true; });
  while (!done && TEventLoop::Default().RunOnce(true)) {
  }
  EXPECT_EQ(served(), 0u);
}

TEST_F(AbortDuringAllocation, OfALaterRunKeepsTheRunsThatCompleted) {
  host.s.url = logged.url("/size/10");
  host.s.users = 5;
  host.s.runs = 3;
  bool secondrun = false;
  host.onrunend = [&] { secondrun = true; };
  // Five users: the only processing point of a launch is the one after the allocation.
  host.onprocessmessages = [&] {
    if (secondrun) engine.abort();
  };
  runtest();
  ASSERT_TRUE(host.finished);
  EXPECT_THAT(logwith("START RUN"), ElementsAre("START RUN: 1", "START RUN: 2"));
  EXPECT_EQ(logwith("Starting request").size(), 5u);
  EXPECT_TRUE(haslog("Run 2 was aborted before its requests were started"));
  EXPECT_EQ(logwith("Resulting statuscodes").size(), 1u);
  EXPECT_EQ(charts.requests().size(), 5u);
  const std::string results = readfile(dir.file("Pressbolt Results.log"));
  EXPECT_NE(results.find("Results of run 1"), std::string::npos);
  EXPECT_NE(results.find("Test aborted"), std::string::npos);
  EXPECT_EQ(served(), 5u);
}
