// Abort during a run and during the wait, a start while a run waits, changed settings between
// runs, and a launch that fails half way.

#include <gmock/gmock.h>

#include "EngineFixture.h"

using ::testing::ElementsAre;

TEST_F(EngineTest, AbortDuringARunCompletesEveryRequestAndFinishes) {
  host.s.url = target.url("/hang");
  host.s.users = 20;
  host.s.runs = 3;
  TTimer later(TEventLoop::Default());
  // Once every request is under way, the operator presses Abort.
  host.s.exacttiming = false;
  engine.ExecButtonClick();
  later.Start(200, [&] { engine.AbortButtonClick(); });
  while (!host.ended && TEventLoop::Default().RunOnce(true)) {
  }
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
  engine.ExecButtonClick();
  while (engine.phase() != TLoadEngine::TPhase::waiting && TEventLoop::Default().RunOnce(true)) {
  }
  ASSERT_EQ(engine.phase(), TLoadEngine::TPhase::waiting);
  engine.AbortButtonClick();
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
  engine.ExecButtonClick();
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
