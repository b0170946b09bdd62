#include "segments/SegmentMerge.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <unordered_map>

#include "engine/RunText.h"

namespace {

// The furthest apart the segments of one test may have started.
constexpr double kMaxSegmentSpreadMs = 10 * 60 * 1000;

// Problems that stop a merge, one line each.
std::vector<std::string> checkset(const std::vector<TSegmentFile>& files, bool allowpartial,
                                  std::vector<int>& absent) {
  std::vector<std::string> problems;
  if (files.empty()) return {"no segment results to merge"};
  const TSegmentFile& first = files.front();
  for (const TSegmentFile& f : files) {
    if (f.testid != first.testid) {
      problems.push_back(f.path + " is from test " + f.testid + ", " + first.path + " from test " +
                         first.testid + ": segments of different tests");
    } else if (f.segments != first.segments) {
      problems.push_back(f.path + " splits the test in " + std::to_string(f.segments) +
                         " segments, " + first.path + " in " + std::to_string(first.segments));
    } else if (f.settingstext != first.settingstext) {
      problems.push_back(f.path + " and " + first.path + " were run with different settings");
    }
  }
  if (!problems.empty()) return problems;

  std::map<int, std::vector<const TSegmentFile*>> bynumber;
  for (const TSegmentFile& f : files) bynumber[f.segment].push_back(&f);
  std::string missing;
  for (int i = 1; i <= first.segments; ++i) {
    auto it = bynumber.find(i);
    if (it == bynumber.end()) {
      missing += (missing.empty() ? "" : ", ") + std::to_string(i);
      absent.push_back(i);
    } else if (it->second.size() > 1) {
      std::string where;
      for (const TSegmentFile* f : it->second) where += (where.empty() ? "" : ", ") + f->path;
      problems.push_back("segment " + std::to_string(i) + "/" + std::to_string(first.segments) +
                         " appears " + std::to_string(it->second.size()) + " times: " + where);
    }
  }
  if (!missing.empty() && !allowpartial) {
    problems.push_back("missing segment(s) " + missing + " of " + std::to_string(first.segments) +
                       " of test " + first.testid);
  }
  // The segments of one test start together (at --start-at, or as their pods come up): starts
  // far apart are separate tests, whose merged rates would mean nothing.
  auto [early, late] = std::minmax_element(
      files.begin(), files.end(),
      [](const TSegmentFile& a, const TSegmentFile& b) { return a.epochms < b.epochms; });
  if (late->epochms - early->epochms > kMaxSegmentSpreadMs) {
    problems.push_back(late->path + ": started_epoch_ms: started " +
                       std::to_string(int64_t((late->epochms - early->epochms) / 60000)) +
                       " minutes after " + early->path +
                       "; the segments of one test start within " +
                       std::to_string(int64_t(kMaxSegmentSpreadMs / 60000)) + " minutes");
  }
  return problems;
}

const TSegmentRun* findrun(const TSegmentFile& f, int run) {
  for (const TSegmentRun& r : f.runs) {
    if (r.run == run) return &r;
  }
  return nullptr;
}

}  // namespace

bool mergesegments(const std::vector<TSegmentFile>& files, TMergedTest& out, std::string& error,
                   bool allowpartial) {
  std::vector<int> absent;
  std::vector<std::string> problems = checkset(files, allowpartial, absent);
  if (!problems.empty()) {
    error.clear();
    for (const std::string& p : problems) error += (error.empty() ? "" : "\n") + p;
    return false;
  }
  std::vector<const TSegmentFile*> segs;
  for (const TSegmentFile& f : files) segs.push_back(&f);
  std::sort(segs.begin(), segs.end(),
            [](const TSegmentFile* a, const TSegmentFile* b) { return a->segment < b->segment; });

  out = TMergedTest();
  const TSegmentFile& first = *segs.front();
  out.testid = first.testid;
  out.segments = first.segments;
  out.settings = first.settings;
  out.urls = first.urls;
  out.postbytes = first.postbytes;
  out.clientsystem = first.clientsystem;
  out.epochms = first.epochms;
  out.started = first.started;
  out.missing = absent;
  size_t runs = 0;
  for (const TSegmentFile* f : segs) {
    out.epochms = std::min(out.epochms, f->epochms);
    out.started = std::min(out.started, f->started);
    out.aborted = out.aborted || f->aborted;
    runs = std::max(runs, f->runs.size());
    // User 1 of run 1 writes the test's first response.
    const TSegmentRun* r1 = findrun(*f, 1);
    if (r1 != nullptr && f->firstresponselength >= 0 &&
        std::find(r1->user.begin(), r1->user.end(), 1) != r1->user.end()) {
      out.firstresponselength = f->firstresponselength;
      out.firstresponsebytes = f->firstresponsebytes;
    }
  }

  // One URL table for all: each segment's indices are mapped into it.
  std::unordered_map<std::string, uint32_t> urlindex;
  std::vector<std::vector<uint32_t>> urlmap(segs.size());
  for (size_t s = 0; s < segs.size(); ++s) {
    for (const std::string& u : segs[s]->requesturls) {
      auto [it, added] = urlindex.try_emplace(u, static_cast<uint32_t>(out.requesturls.size()));
      if (added) out.requesturls.push_back(u);
      urlmap[s].push_back(it->second);
    }
  }

  for (size_t r = 0; r < runs; ++r) {
    TMergedRun m;
    m.run = static_cast<int>(r) + 1;
    TSegmentRun all;
    std::vector<double> done;  // completion time of each row of all
    std::vector<double> starts;
    // The start loops of every segment that ran the run, on the merged time line.
    bool loopsknown = true;
    double loopbegin = 0, loopend = 0;
    int loops = 0;
    for (size_t s = 0; s < segs.size(); ++s) {
      const TSegmentRun* run = findrun(*segs[s], m.run);
      if (run == nullptr) {
        m.aborted = true;  // this segment stopped before the run
        continue;
      }
      m.users += run->users;
      m.aborted = m.aborted || run->aborted;
      const double shift = segs[s]->epochms - out.epochms;
      if (run->startloop.known()) {
        const double begin = run->startloop.offsetms + shift;
        const double end = begin + run->startloop.ms;
        loopbegin = loops == 0 ? begin : std::min(loopbegin, begin);
        loopend = loops == 0 ? end : std::max(loopend, end);
        ++loops;
      } else {
        loopsknown = false;
      }
      if (run->size() == 0) continue;
      double lastdone = 0;
      for (size_t i = 0; i < run->size(); ++i) {
        all.start.push_back(run->start[i] + shift);
        all.wait.push_back(run->wait[i]);
        all.firstbyte.push_back(run->firstbyte[i]);
        all.status.push_back(run->status[i]);
        all.socket.push_back(run->socket[i]);
        all.bytes.push_back(run->bytes[i]);
        all.user.push_back(run->user[i]);
        all.url.push_back(urlmap[s][run->url[i]]);
        all.server.push_back(run->server[i]);
        all.serverttfb.push_back(run->serverttfb[i]);
        all.connect.push_back(run->connect[i]);
        all.tls.push_back(run->tls[i]);
        done.push_back(run->start[i] + run->wait[i] + shift);
        lastdone = std::max(lastdone, done.back());
      }
      // The overall time runs from the run's start to its last completion, so the start is
      // that much before the segment's last completion.
      starts.push_back(lastdone - run->overallms);
      ++m.firedsegments;
    }
    if (!starts.empty()) {
      auto [lo, hi] = std::minmax_element(starts.begin(), starts.end());
      m.startms = *lo;
      m.startspreadms = *hi - *lo;
      m.overallms = *std::max_element(done.begin(), done.end()) - *lo;
    }
    std::vector<size_t> order(done.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&done](size_t a, size_t b) { return done[a] < done[b]; });
    TSegmentRun& sorted = m.requests;
    sorted.run = m.run;
    sorted.users = m.users;
    if (loopsknown && loops > 0) {
      // From the first segment's loop start to the last one's end, as one process's loop.
      sorted.startloop.offsetms = loopbegin;
      sorted.startloop.ms = loopend - loopbegin;
      sorted.startloop.persecond = startrate(int(order.size()), sorted.startloop.ms);
    }
    for (size_t i : order) {
      sorted.start.push_back(all.start[i]);
      sorted.wait.push_back(all.wait[i]);
      sorted.firstbyte.push_back(all.firstbyte[i]);
      sorted.status.push_back(all.status[i]);
      sorted.socket.push_back(all.socket[i]);
      sorted.bytes.push_back(all.bytes[i]);
      sorted.user.push_back(all.user[i]);
      sorted.url.push_back(all.url[i]);
      sorted.server.push_back(all.server[i]);
      sorted.serverttfb.push_back(all.serverttfb[i]);
      sorted.connect.push_back(all.connect[i]);
      sorted.tls.push_back(all.tls[i]);
    }
    out.aborted = out.aborted || m.aborted;
    out.runs.push_back(std::move(m));
  }
  return true;
}
