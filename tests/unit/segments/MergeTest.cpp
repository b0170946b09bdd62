// Merging segment results: which sets are refused, how the requests of a run come onto one time
// line, and the "Results" lines written from them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>

#include "report/JsonReport.h"
#include "segments/MergedResults.h"
#include "segments/SegmentMerge.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using TJson = nlohmann::ordered_json;

namespace {

struct TRow {
  double start, wait, firstbyte;
  int status, user;
  int64_t bytes = 10;
  double server = -1;  // null; a run without any server time leaves the columns out, as files
                       // written before them did
};

// A run as the command line's JSON writes it; overall is the run start to its last completion.
TJson run(int number, int users, double overall, const std::vector<TRow>& rows,
          bool aborted = false) {
  TJson c;
  for (const char* k :
       {"start_ms", "wait_ms", "ttfb_ms", "status", "socket", "bytes", "user", "url"}) {
    c[k] = TJson::array();
  }
  for (const TRow& r : rows) {
    c["start_ms"].push_back(r.start);
    c["wait_ms"].push_back(r.wait);
    c["ttfb_ms"].push_back(r.firstbyte < 0 ? TJson(nullptr) : TJson(r.firstbyte));
    c["status"].push_back(r.status);
    c["socket"].push_back(0);
    c["bytes"].push_back(r.bytes);
    c["user"].push_back(r.user);
    c["url"].push_back(0);
  }
  bool servertimes = false;
  for (const TRow& r : rows) servertimes = servertimes || r.server >= 0;
  if (servertimes) {
    for (const TRow& r : rows) {
      c["server_ms"].push_back(r.server < 0 ? TJson(nullptr) : TJson(r.server));
      c["server_ttfb_ms"].push_back(r.server < 0 ? TJson(nullptr) : TJson(r.server / 2));
    }
  }
  return {{"run", number},
          {"users", users},
          {"aborted", aborted},
          {"overall_ms", overall},
          {"requests", c}};
}

TJson segment(int i, int k, double epochms, std::vector<TJson> runs, int users = 4,
              const std::string& testid = "T1") {
  TJson s = {{"url", "http://127.0.0.1:1/"},
             {"urls", nullptr},
             {"users", users},
             {"runs", runs.size()},
             {"wait_s", 0},
             {"ramp", false},
             {"method", "GET"},
             {"post_bytes", 0},
             {"agent", nullptr},
             {"proxy", nullptr},
             {"user", nullptr},
             {"users_file", false},
             {"key_offset", nullptr},
             {"preserve_cookies", false}};
  return {{"format", 1},
          {"test_id", testid},
          {"started", "2026-12-07T10:00:00Z"},
          {"aborted", false},
          {"settings", s},
          {"request_urls", {"http://127.0.0.1:1/"}},
          {"runs", runs},
          {"segment", {{"number", i}, {"of", k}}},
          {"started_epoch_ms", epochms},
          {"client_system", {"Client system: A", "Client system: B"}},
          {"first_response_length", i == 1 ? TJson(12) : TJson(nullptr)},
          {"first_response_bytes", i == 1 ? TJson(11) : TJson(nullptr)}};
}

TSegmentFile read(const TJson& doc, const std::string& path) {
  TSegmentFile f;
  std::string error;
  EXPECT_TRUE(readsegmentfile(path, doc.dump(), f, error)) << error;
  return f;
}

std::string mergeerror(const std::vector<TJson>& docs) {
  std::vector<TSegmentFile> files;
  for (size_t i = 0; i < docs.size(); ++i) files.push_back(read(docs[i], "s" + std::to_string(i)));
  TMergedTest m;
  std::string error;
  EXPECT_FALSE(mergesegments(files, m, error));
  return error;
}

}  // namespace

TEST(Merge, RefusesSetsThatAreNotOneWholeTest) {
  const TJson one = segment(1, 3, 0, {run(1, 1, 5, {{0, 5, 1, 200, 1}})});
  const TJson two = segment(2, 3, 0, {run(1, 1, 5, {{0, 5, 1, 200, 2}})});
  const TJson three = segment(3, 3, 0, {run(1, 1, 5, {{0, 5, 1, 200, 3}})});
  EXPECT_EQ(mergeerror({one, three}), "missing segment(s) 2 of 3 of test T1");
  EXPECT_EQ(mergeerror({one, two, two, three}), "segment 2/3 appears 2 times: s1, s2");
  EXPECT_THAT(mergeerror({one, two, segment(3, 3, 0, {}, 4, "T2")}),
              HasSubstr("s2 is from test T2, s0 from test T1: segments of different tests"));
  EXPECT_EQ(mergeerror({one, two, segment(3, 3, 0, {run(1, 1, 5, {})}, 5)}),
            "s2 and s0 were run with different settings");
  EXPECT_EQ(mergeerror({one, segment(2, 2, 0, {})}), "s1 splits the test in 2 segments, s0 in 3");
  EXPECT_EQ(mergeerror({}), "no segment results to merge");
}

TEST(Merge, RefusesFilesItCannotRead) {
  TSegmentFile f;
  std::string error;
  EXPECT_FALSE(readsegmentfile("a.json", "{\"format\": 1", f, error));
  EXPECT_THAT(error, HasSubstr("a.json: "));
  EXPECT_FALSE(readsegmentfile("b.json", "[1, 2]", f, error));
  EXPECT_EQ(error, "b.json: not a pressbolt-cli JSON result");
  TJson doc = segment(1, 1, 0, {});
  doc["format"] = 2;
  EXPECT_FALSE(readsegmentfile("c.json", doc.dump(), f, error));
  EXPECT_THAT(error, HasSubstr("format 2 cannot be merged"));
  doc = segment(1, 1, 0, {run(1, 1, 5, {{0, 5, 1, 200, 1}})});
  doc["runs"][0]["requests"]["status"].push_back(200);
  EXPECT_FALSE(readsegmentfile("d.json", doc.dump(), f, error));
  EXPECT_EQ(error, "d.json: runs[0].requests.status: has 2 rows, not 1");
  doc = segment(1, 1, 0, {run(1, 1, 5, {{0, 5, 1, 200, 1}})});
  doc["runs"][0]["requests"]["url"][0] = 7;
  EXPECT_FALSE(readsegmentfile("e.json", doc.dump(), f, error));
  EXPECT_EQ(error, "e.json: runs[0].requests.url[0]: 7 is out of range (0 to 0)");
  doc = segment(1, 1, 0, {});
  doc.erase("segment");
  EXPECT_FALSE(readsegmentfile("f.json", doc.dump(), f, error));
  EXPECT_THAT(error, HasSubstr("without segment data"));
}

// A hand-edited file is refused with the field and the reason, never merged into nonsense.
TEST(Merge, RefusesEveryFieldOutOfRangeOrOutOfPlace) {
  const TJson good = segment(1, 2, 1000000.0, {run(1, 2, 40, {{2, 30, 5, 200, 1}})});
  const std::pair<std::function<void(TJson&)>, std::string> cases[] = {
      {[](TJson& d) { d["runs"][0]["run"] = 9; }, "runs[0].run: 9 is out of range (1 to 1)"},
      {[](TJson& d) { d["runs"][0]["requests"]["bytes"][0] = 9223372036854775813ull; },
       "runs[0].requests.bytes[0]: 9223372036854775813 is out of range (0 to 1125899906842624)"},
      {[](TJson& d) { d["runs"][0]["requests"]["wait_ms"][0] = 1e308; },
       "runs[0].requests.wait_ms[0]: 1e+308 is out of range (0 to 1e+11)"},
      {[](TJson& d) { d["runs"][0]["requests"]["wait_ms"][0] = -5.0; },
       "runs[0].requests.wait_ms[0]: -5.0 is out of range (0 to 1e+11)"},
      {[](TJson& d) { d["runs"][0]["requests"]["ttfb_ms"][0] = "fast"; },
       "runs[0].requests.ttfb_ms[0]: \"fast\" is not a number"},
      {[](TJson& d) { d["runs"][0]["requests"]["server_ms"] = {-2.0}; },
       "runs[0].requests.server_ms[0]: -2.0 is out of range (0 to 1e+11)"},
      {[](TJson& d) {
         d["runs"][0]["requests"]["server_ttfb_ms"] = {1.0, 2.0};
       },
       "runs[0].requests.server_ttfb_ms: has 2 rows, not 1"},
      {[](TJson& d) { d["started_epoch_ms"] = 1e300; },
       "started_epoch_ms: 1e+300 is out of range (0 to 2.53402e+14)"},
      {[](TJson& d) { d["runs"][0]["requests"]["user"][0] = 2; },
       "runs[0].requests.user[0]: user 2 belongs to segment 2, not to 1"},
      {[](TJson& d) { d["runs"][0]["requests"]["user"][0] = 5; },
       "runs[0].requests.user[0]: 5 is out of range (1 to 4)"},
      {[](TJson& d) { d["runs"][0]["requests"]["socket"][0] = 70000; },
       "runs[0].requests.socket[0]: 70000 is out of range (0 to 65535)"},
      {[](TJson& d) { d["runs"][0]["users"] = 0; }, "runs[0].requests: has 1 requests for 0 users"},
      {[](TJson& d) { d["runs"].push_back(d["runs"][0]); }, "runs: holds 2 runs of a test of 1"},
      {[](TJson& d) { d["segment"]["number"] = 3; }, "segment.number: 3 is out of range (1 to 2)"},
      // Found by the fuzzer: 0 is below the lower bound of a field that starts at 1.
      {[](TJson& d) { d["segment"]["number"] = 0; }, "segment.number: 0 is out of range (1 to 2)"},
      {[](TJson& d) { d["runs"][0]["requests"]["user"][0] = 0; },
       "runs[0].requests.user[0]: 0 is out of range (1 to 4)"},
      {[](TJson& d) { d["runs"][0]["run"] = 0; }, "runs[0].run: 0 is out of range (1 to 1)"},
  };
  for (const auto& [edit, problem] : cases) {
    TJson doc = good;
    edit(doc);
    TSegmentFile f;
    std::string error;
    EXPECT_FALSE(readsegmentfile("s.json", doc.dump(), f, error)) << problem;
    EXPECT_EQ(error, "s.json: " + problem);
  }
  // A user twice in one run.
  TJson twice = segment(1, 2, 0, {run(1, 2, 40, {{2, 30, 5, 200, 3}, {3, 30, 5, 200, 3}})});
  TSegmentFile f;
  std::string error;
  EXPECT_FALSE(readsegmentfile("t.json", twice.dump(), f, error));
  EXPECT_EQ(error, "t.json: runs[0].requests.user[1]: user 3 completes twice in the run");
  // Cut off: a plain message, not the parser's.
  const std::string text = good.dump();
  EXPECT_FALSE(readsegmentfile("u.json", text.substr(0, text.size() / 2), f, error));
  EXPECT_THAT(error, HasSubstr("u.json: not valid JSON (cut off or damaged near byte "));
  EXPECT_EQ(error.find("json.exception"), std::string::npos) << error;
  EXPECT_TRUE(readsegmentfile("s.json", good.dump(), f, error)) << error;
}

// Segment 2 started its clock 10 ms after segment 1: its times move by 10 ms, the requests come
// in completion order, and the run's start, overall time and start spread follow.
TEST(Merge, PutsTheRequestsOfEveryRunOnOneTimeLine) {
  // Segment 1: run started at 2 (last completion 2 + 40 = 42, overall 40).
  const TJson s1 = segment(
      1, 2, 1000000.0, {run(1, 2, 40, {{2, 30, 5, 200, 1, 10, 4}, {3, 39, 8, 404, 3, 10, -1}})});
  // Segment 2 has no server times (a file from before them): null, never 0.
  // Segment 2: run started at 1 on its clock = 11 on the merged one.
  const TJson s2 =
      segment(2, 2, 1000010.0, {run(1, 2, 25, {{1.5, 20, 2, 200, 2}, {1.5, 24.5, -1, 0, 4}})});
  std::vector<TSegmentFile> files = {read(s2, "b"), read(s1, "a")};
  TMergedTest m;
  std::string error;
  ASSERT_TRUE(mergesegments(files, m, error)) << error;
  EXPECT_EQ(m.epochms, 1000000.0);
  EXPECT_EQ(m.firstresponselength, 12);
  EXPECT_EQ(m.firstresponsebytes, 11);
  ASSERT_EQ(m.runs.size(), 1u);
  const TMergedRun& r = m.runs[0];
  EXPECT_EQ(r.users, 4);
  EXPECT_EQ(r.firedsegments, 2);
  EXPECT_DOUBLE_EQ(r.startms, 2);
  EXPECT_DOUBLE_EQ(r.startspreadms, 9);
  EXPECT_DOUBLE_EQ(r.overallms, 40);
  EXPECT_THAT(r.requests.user, ElementsAre(2, 1, 4, 3));  // done at 31.5, 32, 36, 42
  EXPECT_THAT(r.requests.start, ElementsAre(11.5, 2, 11.5, 3));
  EXPECT_THAT(r.requests.server, ElementsAre(-1, 4, -1, -1));
  EXPECT_THAT(r.requests.serverttfb, ElementsAre(-1, 2, -1, -1));
  TRequestRecords records;
  mergedrecords(m, records);
  EXPECT_THAT(records.runs()[0].server, ElementsAre(-1, 4, -1, -1));
}

TEST(Merge, ResultsLinesAreThoseOfOneProcess) {
  const TJson s1 = segment(1, 2, 1000000.0,
                           {run(1, 2, 40, {{2, 30, 5, 200, 1}, {3, 39, 8, 404, 3}}),
                            run(2, 2, 10, {{100, 9, 4, 200, 1}, {101, 9, 3, 200, 3}})});
  const TJson s2 = segment(2, 2, 1000010.0,
                           {run(1, 2, 25, {{1.5, 20, 2, 200, 2}, {1.5, 24.5, -1, 0, 4}}),
                            run(2, 2, 10, {{90, 9, 6, 200, 2}, {90, 10, 6, 200, 4}}, true)});
  TMergedTest m;
  std::string error;
  ASSERT_TRUE(mergesegments({read(s1, "a"), read(s2, "b")}, m, error)) << error;
  TLogModel logs;
  TChartModel charts;
  mergedviews(m, logs, charts);
  std::vector<std::string> lines;
  for (const auto& l : logs.resultlines()) lines.push_back(l.text);
  ASSERT_GE(lines.size(), 24u);
  EXPECT_THAT(std::vector<std::string>(lines.begin() + 1, lines.begin() + 7),
              ElementsAre("Tested URL: http://127.0.0.1:1/", "Settings: use GET requests",
                          "Settings: 4 simultaneous users - 2 runs", "Client system: A",
                          "Client system: B", HasSubstr("Test run on ")));
  EXPECT_THAT(
      std::vector<std::string>(lines.begin() + 8, lines.begin() + 25),
      ElementsAre("", "Results of run 1", "Merged from 2 segments: run starts 9 ms apart",
                  "Created 4 requests in 9.5ms (equals ~421 requests per second)",
                  // User 1's first byte came first, at 2 + 5 ms.
                  "Time to first byte: ~5 msec",
                  "Number of Bytes in Result: 12 Bytes (1st request)",
                  "Resulting statuscodes: 2x\"200\" (=OK), 1x\"0\" (=(unknown http result)), "
                  "1x\"404\" (=Not Found), ",
                  // 40 ms over 4 users; the mean wait of the 4 requests is 28.375.
                  "Average Request Processing Time after 1 runs: 10 msec (equals ~360000 "
                  "requests/h)",
                  "Average User Wait Time: 28 msec for 4 simultaneous users",
                  // Run 2 was aborted in one segment: no summary, and the test says so.
                  "", "Results of run 2", "Merged from 2 segments: run starts 0 ms apart",
                  "Created 4 requests in 1ms (equals ~4000 requests per second)",
                  "Time to first byte: ~4 msec", "", "Test aborted", ""));
  EXPECT_EQ(lines.back(),
            "Please note: a server usually processes several requests parallel, but one client "
            "only sees his own request!");
  EXPECT_EQ(charts.requests().size(), 8u);
  EXPECT_EQ(charts.chart1title(), "Load test: http://127.0.0.1:1/");
}

// A result holds a POST body's length, not the body: a merge (or a result read back and saved
// again) must still say how long it was, and a length below 0 is no length.
TEST(Merge, APostTestKeepsItsBodyLength) {
  auto post = [](int i, int64_t bytes) {
    TJson s = segment(i, 2, 1000000.0, {run(1, 2, 40, {{2, 30, 5, 200, i}})});
    s["settings"]["method"] = "POST";
    s["settings"]["post_bytes"] = bytes;
    return s;
  };
  TMergedTest m;
  std::string error;
  ASSERT_TRUE(mergesegments({read(post(1, 12), "a"), read(post(2, 12), "b")}, m, error)) << error;
  TRequestRecords records;
  mergedrecords(m, records);
  const TJson merged = TJson::parse(jsonreport(mergedinfo(m), records, testfigures(records)));
  EXPECT_EQ(merged["settings"]["method"], "POST");
  EXPECT_EQ(merged["settings"]["post_bytes"], 12);

  TSegmentFile f;
  EXPECT_FALSE(readsegmentfile("n.json", post(1, -3).dump(), f, error));
  EXPECT_EQ(error, "n.json: settings.post_bytes: -3 is out of range (0 to 1125899906842624)");
}

// The segments' start loops on the merged time line make one run's "Created ..." line, which the
// merged JSON keeps; each ramp step of a merge plots its own mean wait.
TEST(Merge, JoinsTheStartLoopsAndPlotsEachStepsOwnWait) {
  TJson s1 = segment(1, 2, 1000000.0,
                     {run(1, 1, 40, {{2, 30, 5, 200, 1}}), run(2, 2, 90, {{100, 80, 4, 200, 1}})});
  TJson s2 = segment(2, 2, 1000010.0,
                     {run(1, 1, 25, {{1.5, 20, 2, 200, 2}}), run(2, 2, 90, {{90, 60, 6, 200, 2}})});
  for (TJson* s : {&s1, &s2}) {
    (*s)["settings"]["ramp"] = true;
    (*s)["settings"]["users"] = 4;
  }
  s1["runs"][0].update(
      {{"start_loop_offset_ms", 1}, {"start_loop_ms", 0.5}, {"start_loop_requests_per_s", 2000}});
  s2["runs"][0].update(
      {{"start_loop_offset_ms", 0.5}, {"start_loop_ms", 2}, {"start_loop_requests_per_s", 500}});
  TMergedTest m;
  std::string error;
  ASSERT_TRUE(mergesegments({read(s1, "a"), read(s2, "b")}, m, error)) << error;
  // From segment 1's start at 1 ms to segment 2's end at 10 + 0.5 + 2 ms.
  EXPECT_DOUBLE_EQ(m.runs[0].requests.startloop.offsetms, 1);
  EXPECT_DOUBLE_EQ(m.runs[0].requests.startloop.ms, 11.5);
  EXPECT_EQ(m.runs[0].requests.startloop.persecond, 174);
  // Run 2 of segment 2 was written without one: the line comes from the starts.
  EXPECT_FALSE(m.runs[1].requests.startloop.known());
  TLogModel logs;
  TChartModel charts;
  mergedviews(m, logs, charts);
  std::vector<std::string> lines;
  for (const auto& l : logs.resultlines()) lines.push_back(l.text);
  EXPECT_THAT(lines, testing::Contains("Created 2 requests in 11.5ms (equals ~174 requests per "
                                       "second)"));
  ASSERT_EQ(charts.rampwaits().size(), 2u);
  EXPECT_EQ(charts.rampwaits()[0].y, 25);
  EXPECT_EQ(charts.rampwaits()[1].y, 70);
  TRequestRecords records;
  mergedrecords(m, records);
  const TJson merged = TJson::parse(jsonreport(mergedinfo(m), records, testfigures(records)));
  EXPECT_EQ(merged["runs"][0]["start_loop_ms"], 11.5);
  EXPECT_EQ(merged["runs"][0]["start_loop_requests_per_s"], 174);
  EXPECT_FALSE(merged["runs"][1].contains("start_loop_ms"));
}
