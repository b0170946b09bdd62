#pragma once
// One segment's result as the command line's JSON carries it, read back for merging: which test
// and segment it is, when its test clock started on the wall clock, and each run's requests.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/TestSettings.h"
#include "results/Percentiles.h"
#include "results/RequestRecords.h"

struct TSegmentRun {
  int run = 0;  // from 1
  int users = 0;
  bool aborted = false;
  double overallms = 0;
  // One row per request in completion order; times in ms after the segment's test start, a
  // first byte below 0 when none came, url an index into TSegmentFile::requesturls.
  std::vector<double> start, wait, firstbyte;
  std::vector<int> status, user;
  std::vector<uint16_t> socket;
  std::vector<int64_t> bytes;
  std::vector<uint32_t> url;
  // The server's own times; below 0 where the kernel gave none (or the file predates them).
  std::vector<double> server, serverttfb;
  // The connection's phases (connect, TLS handshake); below 0 where there was none.
  std::vector<double> connect, tls;
  // The run's start loop as its "Created ..." line told it; unknown in older results.
  TStartLoopRecord startloop;

  size_t size() const { return wait.size(); }
};

// What a stored result says about a run (or its totals) beside its requests: the averages as they
// were written, so a result read back and written again keeps them to the last digit (the
// request columns hold times rounded to the microsecond), and the server's own time when the
// result carries it.
struct TStoredFigures {
  bool written = false;  // the averages below were read
  double errorrate = 0, overallms = 0, avgprocessing = 0, requestsperhour = 0, avgwait = 0,
         throughput = 0;
  bool hasserver = false;
  TPercentiles server;  // "server_ms"
};

struct TSegmentFile {
  std::string path;  // where it was read from, for messages
  std::string testid;
  std::string started;  // UTC text of the segment's start
  int segment = 1, segments = 1;
  double epochms = 0;  // the segment's test start on the wall clock, ms since 1970
  bool aborted = false;
  std::string settingstext;  // the "settings" member as written, compared between segments
  TestSettings settings;
  std::vector<std::string> urls;  // the multiple-URL list
  int64_t postbytes = 0;          // the POST body's length: the file holds no body
  std::vector<std::string> requesturls;
  std::vector<std::string> clientsystem;  // the two "Client system: " lines, when present
  int64_t firstresponselength = -1;       // characters of the test's first response, or -1
  int64_t firstresponsebytes = -1;        // bytes of its body, or -1
  std::vector<TSegmentRun> runs;
  // K of a merged result (0: not merged; read by readresultfile only) with each run's start
  // spread, and each run's and the totals' stored figures.
  int mergedsegments = 0;
  std::vector<double> startspreadms;
  std::vector<TStoredFigures> runfigures;
  TStoredFigures totals;
};

// Reads one JSON result. False with a one-line reason (naming path, field and what is wrong)
// when it is not a result this program wrote, lacks what a merge needs, or its parts do not fit
// together (see SegmentFileChecks.h).
bool readsegmentfile(const std::string& path, const std::string& text, TSegmentFile& out,
                     std::string& error);

// Reads any JSON result of this program for re-rendering or comparing: one process's, a segment's
// or a merged one. False with a one-line reason naming path, also for a newer format.
bool readresultfile(const std::string& path, const std::string& text, TSegmentFile& out,
                    std::string& error);

// Appends path to files when it is a readable file; when it is a directory, its .json files in
// name order, leaving out `except` (the merge's own JSON output, which may lie there from an
// earlier merge). False with the reason when path cannot be read or holds no .json file.
bool resultfiles(const std::string& path, const std::string& except,
                 std::vector<std::string>& files, std::string& error);
