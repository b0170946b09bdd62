// The engine as a host without a window uses it: an abort that always finishes, and one record
// per completed request with its run, user, first byte and bytes.

#include <algorithm>

#include "EngineFixture.h"

namespace {

class TRecordingHost : public TTestHost {
 public:
  std::vector<TRequestOutcome> outcomes;
  std::vector<std::string> outcomeurls;
  std::vector<std::pair<int, int>> runends;  // (run index, users)
  std::vector<bool> runaborted;
  std::function<void()> onrequest;
  void requestcompleted(const TRequestOutcome& r) override {
    outcomes.push_back(r);
    outcomeurls.push_back(*r.url);
    if (onrequest) onrequest();
  }
  void runcompleted(int run, int users, long double, bool aborted) override {
    runends.emplace_back(run, users);
    runaborted.push_back(aborted);
  }
};

class EngineHeadlessTest : public EngineTest {
 protected:
  TRecordingHost rhost;
  TLoadEngine rengine{rhost, logs, charts};
  void SetUp() override {
    EngineTest::SetUp();
    rengine.setoutputdir(dir.path());
    rengine.setabortfinishes(true);
    rhost.s.exacttiming = true;
  }
  void run() {
    rengine.start();
    while (!rhost.ended && TEventLoop::Default().RunOnce(true)) {
    }
  }
};

}  // namespace

TEST_F(EngineHeadlessTest, AbortDuringTheWaitFinishesAndSaysSo) {
  rhost.s.url = target.url("/size/1");
  rhost.s.users = 2;
  rhost.s.runs = 3;
  rhost.s.waitperrun = 30;
  rengine.start();
  while (rengine.phase() != TLoadEngine::TPhase::waiting && TEventLoop::Default().RunOnce(true)) {
  }
  ASSERT_EQ(rengine.phase(), TLoadEngine::TPhase::waiting);
  rengine.abort();
  EXPECT_TRUE(rhost.ended);
  EXPECT_TRUE(rhost.finished);
  EXPECT_EQ(rengine.phase(), TLoadEngine::TPhase::idle);
  EXPECT_TRUE(haslog("Test aborted"));
  EXPECT_EQ(logwith("Saving log").size(), 1u);
  std::string results = readfile(dir.file("Pressbolt Results.log"));
  EXPECT_NE(results.find("Resulting statuscodes: 2x\"200\""), std::string::npos);
  EXPECT_LT(results.find("Test aborted"), results.find("Glossary:"));
  EXPECT_EQ(rhost.runends, (std::vector<std::pair<int, int>>{{0, 2}}));
  EXPECT_EQ(rhost.endedcount, 1);
}

TEST_F(EngineHeadlessTest, EveryRequestIsRecordedOnceWithItsRun) {
  rhost.s.multipleurls = true;
  rhost.urls = {target.url("/size/300"), target.url("/status/404"), target.url("/hang")};
  rhost.s.users = 6;
  rhost.s.runs = 2;
  rhost.s.ramptest = true;
  // The hanging user keeps run 1 open; once the other two have completed, it is aborted.
  TTimer abort(TEventLoop::Default());
  rhost.onrequest = [&] {
    if (rhost.outcomes.size() == 2) abort.Start(0, [&] { rengine.abort(); });
  };
  run();
  ASSERT_TRUE(rhost.finished);
  // Ramp run 1 has 3 users; the abort ends the test after it.
  ASSERT_EQ(rhost.outcomes.size(), 3u);
  EXPECT_EQ(rhost.runends, (std::vector<std::pair<int, int>>{{0, 3}}));
  EXPECT_TRUE(rhost.runaborted[0]);
  std::vector<int> users;
  for (const auto& o : rhost.outcomes) {
    EXPECT_EQ(o.run, 0);
    users.push_back(o.user);
    EXPECT_GE(o.wait, 0);
  }
  std::sort(users.begin(), users.end());
  EXPECT_EQ(users, (std::vector<int>{1, 2, 3}));
  for (size_t i = 0; i < rhost.outcomes.size(); ++i) {
    const TRequestOutcome& o = rhost.outcomes[i];
    if (rhost.outcomeurls[i] == target.url("/size/300")) {
      EXPECT_EQ(o.status, 200);
      EXPECT_EQ(o.bytes, 300);
      EXPECT_GE(o.firstbyte, 0);
      EXPECT_LE(o.firstbyte, o.wait);
    } else if (rhost.outcomeurls[i] == target.url("/hang")) {
      EXPECT_LT(o.firstbyte, 0);
      EXPECT_EQ(o.bytes, 0);
    } else {
      EXPECT_EQ(o.status, 404);
    }
  }
}
