// The two views' lines: time stamps, styles, clearing and generations.

#include "results/LogModel.h"

#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <string>

namespace {

std::string fixedstamp() {
  return "01/02/03 04:05:06";
}

// Puts the real clock back whatever a test did.
struct TStampGuard {
  ~TStampGuard() { TLogModel::settimestampsource(nullptr); }
};

std::string stampat(time_t t) {
  tm local{};
  localtime_r(&t, &local);
  char buf[128];
  return std::string(buf, std::strftime(buf, sizeof buf, "%x %X", &local));
}

TEST(LogModel, LogLinesCarryTheTimeStampAndText) {
  TStampGuard guard;
  TLogModel::settimestampsource(fixedstamp);
  TLogModel model;
  model.log("Starting test");
  model.log("");
  ASSERT_EQ(model.loglines().size(), 2u);
  EXPECT_EQ(model.loglines()[0], "01/02/03 04:05:06: Starting test");
  EXPECT_EQ(model.loglines()[1], "01/02/03 04:05:06: ");
  EXPECT_TRUE(model.resultlines().empty());
}

TEST(LogModel, RealTimeStampIsTheLocalShortDateAndLongTime) {
  time_t before = std::time(nullptr);
  std::string stamp = TLogModel::timestamp();
  time_t after = std::time(nullptr);
  // The tests run under the "C" locale for LC_TIME: "%x %X" is MM/DD/YY HH:MM:SS.
  EXPECT_TRUE(std::regex_match(stamp, std::regex(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d)"))) << stamp;
  EXPECT_TRUE(stamp == stampat(before) || stamp == stampat(after)) << stamp;

  TLogModel model;
  model.log("x");
  EXPECT_TRUE(std::regex_match(model.loglines()[0], std::regex(R"(\S+ \S+: x)")))
      << model.loglines()[0];
}

TEST(LogModel, ResultLinesAndStyles) {
  TLogModel model;
  model.logdata("settings");
  model.logdatanocr("plain");
  model.logdatabold("bold");
  model.logdatared("Results of run 1");
  model.logdatanocr("");
  const auto& r = model.resultlines();
  ASSERT_EQ(r.size(), 6u);
  EXPECT_EQ(r[0].text, "settings");
  EXPECT_EQ(r[1].text, " ");  // logdata's line holding a single blank
  EXPECT_EQ(r[2].text, "plain");
  EXPECT_EQ(r[3].text, "bold");
  EXPECT_EQ(r[4].text, "Results of run 1");
  EXPECT_EQ(r[5].text, "");
  EXPECT_EQ(r[0].style, TLineStyle::plain);
  EXPECT_EQ(r[1].style, TLineStyle::plain);
  EXPECT_EQ(r[2].style, TLineStyle::plain);
  EXPECT_EQ(r[3].style, TLineStyle::bold);
  EXPECT_EQ(r[4].style, TLineStyle::highlight);
  EXPECT_TRUE(model.loglines().empty());
}

TEST(LogModel, ClearingEmptiesAViewAndStartsANewGeneration) {
  TLogModel model;
  uint64_t lg = model.loggeneration(), rg = model.resultgeneration();
  model.log("a");
  model.logdata("b");
  // Appending keeps the generation: a mirror only shows the new lines.
  EXPECT_EQ(model.loggeneration(), lg);
  EXPECT_EQ(model.resultgeneration(), rg);

  model.clearlog();
  EXPECT_TRUE(model.loglines().empty());
  EXPECT_EQ(model.resultlines().size(), 2u);
  EXPECT_EQ(model.loggeneration(), lg + 1);
  EXPECT_EQ(model.resultgeneration(), rg);

  model.clearresults();
  EXPECT_TRUE(model.resultlines().empty());
  EXPECT_EQ(model.resultgeneration(), rg + 1);

  // Clearing empty views still tells a mirror to start over.
  model.log("c");
  model.clear();
  EXPECT_TRUE(model.loglines().empty());
  EXPECT_TRUE(model.resultlines().empty());
  EXPECT_EQ(model.loggeneration(), lg + 2);
  EXPECT_EQ(model.resultgeneration(), rg + 2);
}

}  // namespace

TEST(LogModel, SinkGetsEveryLineWhileTheViewStopsAtItsCap) {
  TLogModel model;
  std::vector<std::string> sunk;
  model.setsink([&](const std::string& line) { sunk.push_back(line); });
  model.setmaxloglines(3);
  for (int i = 0; i < 6; ++i) model.log(std::to_string(i));
  EXPECT_EQ(sunk.size(), 6u);
  EXPECT_EQ(sunk.back().substr(sunk.back().size() - 3), ": 5");
  ASSERT_EQ(model.loglines().size(), 4u);  // three lines and the note that the view is cut
  EXPECT_TRUE(model.logcut());
  EXPECT_NE(model.loglines()[3].find("the detailed log file holds every line"), std::string::npos);
  model.setsink(nullptr);
  model.clearlog();
  model.log("again");
  EXPECT_FALSE(model.logcut());
  EXPECT_EQ(model.loglines().size(), 1u);
  EXPECT_EQ(sunk.size(), 6u);
}

TEST(LogModel, WithoutKeepALineGoesOnlyToTheSinkAndNeverGetsLost) {
  TStampGuard guard;
  TLogModel::settimestampsource(fixedstamp);
  TLogModel model;
  std::vector<std::string> sunk;
  model.setsink([&](const std::string& line) { sunk.push_back(line); });
  model.setkeeplines(false);
  model.log("streamed");
  model.log("streamed too");
  EXPECT_EQ(sunk, (std::vector<std::string>{"01/02/03 04:05:06: streamed",
                                            "01/02/03 04:05:06: streamed too"}));
  EXPECT_TRUE(model.loglines().empty());
  // With nobody to take it, a line is kept whatever keep says.
  model.setsink(nullptr);
  model.log("kept");
  ASSERT_EQ(model.loglines().size(), 1u);
  EXPECT_EQ(model.loglines()[0], "01/02/03 04:05:06: kept");
  // A new test keeps its lines again unless told otherwise.
  model.setsink([&](const std::string& line) { sunk.push_back(line); });
  model.clear();
  model.log("next test");
  EXPECT_EQ(model.loglines().size(), 1u);
  EXPECT_EQ(sunk.size(), 3u);
}
