#pragma once
// Folds the K segment results of one split test into one result, as if one process had fired
// every user: the requests of each run on one time line, in completion order.

#include <string>
#include <vector>

#include "stored/SegmentFile.h"

struct TMergedRun {
  int run = 0;               // from 1
  int users = 0;             // users of the whole run: the sum over the segments
  bool aborted = false;      // some segment aborted it or never got to it
  double startms = 0;        // the earliest segment's run start, ms after the merged test start
  double overallms = 0;      // that start to the run's last completion
  double startspreadms = 0;  // the latest segment's run start minus the earliest
  int firedsegments = 0;     // segments that owned users in this run
  // The run's requests per hour as a stored result says them; below 0 when worked out here.
  double requestsperhour = -1;
  // Every request, times in ms after the merged test start, url an index into
  // TMergedTest::requesturls, in order of completion.
  TSegmentRun requests;
};

struct TMergedTest {
  std::string testid;
  std::string started;  // the earliest segment's start, UTC text
  double epochms = 0;   // the earliest segment's test start: time 0 of every merged time
  int segments = 1;     // 0: one process's result read back, no merge (no spread lines)
  bool aborted = false;
  TestSettings settings;
  std::vector<std::string> urls, requesturls, clientsystem;
  int64_t postbytes = 0;             // the POST body's length, which no result holds
  int64_t firstresponselength = -1;  // from the segment that owns user 1
  int64_t firstresponsebytes = -1;   // the same
  std::vector<TMergedRun> runs;
  double requestsperhour = -1;  // of all runs, as a stored result says it; below 0: none
  // Segments absent from a partial merge (empty: the whole test), and lines the Results text
  // states below its header (what is missing, the segments' clocks, runs fired late).
  std::vector<int> missing;
  std::vector<std::string> notes;
};

// Checks that files are the segments 1 .. K of one test, each once, then merges them. False with
// one line per problem in error: results of different tests or settings, a different K,
// duplicate or missing segments. With allowpartial, missing segments are no problem: the merge
// holds the others and lists the missing ones in out.missing.
bool mergesegments(const std::vector<TSegmentFile>& files, TMergedTest& out, std::string& error,
                   bool allowpartial = false);
