#pragma once
// What a merge says beyond the merged requests: the segments that are missing from a partial
// merge and the users they held, the segments' clocks, and the runs a segment fired late. These
// go into the Results text below its header, the JSON and the HTML banner.

#include <string>
#include <vector>

#include "segments/ClockState.h"
#include "segments/SegmentMerge.h"
#include "stored/ReportInfo.h"

// What a segment's JSON states besides its requests.
struct TSegmentNotes {
  int segment = 0;
  bool hasclock = false;  // the result has a "clock" member
  TClockState clock;
  std::vector<double> late;  // per run, ms past its shared instant; empty without a schedule
};

// Reads the notes of one segment's JSON text (skipping its request columns). False when the text
// is no JSON object; a result without them gives empty notes.
bool readsegmentnotes(const std::string& text, TSegmentNotes& out);

// The lines on what a partial merge misses: the segments, their users and how many users of
// each run that is. Empty for a whole merge.
std::vector<std::string> partiallines(const TMergedTest& m);

// Sets m.notes (partial, clocks, late runs) from the segments' notes.
void notemerge(TMergedTest& m, const std::vector<TSegmentNotes>& notes);

// Adds what the merged JSON states about them: "merge_notes" (m.notes), "partial",
// "segment_clocks" and each run's "segment_late_ms" (one entry per segment, null where a segment
// is missing); sets info.partial.
void describemerge(const TMergedTest& m, const std::vector<TSegmentNotes>& notes,
                   TReportInfo& info);

// Reads back what describemerge wrote into a merged result's JSON text, so that a result opened
// in the window or re-rendered says it again: the notes into m.notes, the top-level members into
// info.members, the banner into info.partial. Leaves them as they are for any other result.
void readmergenotes(const std::string& text, TMergedTest& m, TReportInfo& info);
