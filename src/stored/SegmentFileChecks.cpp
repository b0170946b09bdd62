#include "stored/SegmentFileChecks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Times are written to the microsecond: two figures made from the same times may differ by that.
constexpr double kRounding = 0.001;
// A server time comes from the kernel's stamps, a wait from our own clock: read apart, they may
// disagree by a little, never by a millisecond.
constexpr double kClockSlack = 1.0;
// From the test start to run 1, and between two runs beyond their wait: making the users' clients
// takes well under this.
constexpr double kLaunchMs = 60000;
// The aborted requests' socket code: neither an error nor part of the error rate.
constexpr int kAbortedCode = 3;

std::string number(double v) {
  char text[48];
  std::snprintf(text, sizeof text, "%.12g", v);
  return text;
}

std::string ms(double v) {
  return number(v) + " ms";
}

std::string at(size_t k, const char* column, size_t i) {
  return "runs[" + std::to_string(k) + "].requests." + column + "[" + std::to_string(i) + "]";
}

bool near(double stored, double computed, double tolerance) {
  return std::fabs(stored - computed) <= tolerance + 1e-9 * std::fabs(computed);
}

TFileProblem rowproblem(const TSegmentRun& r, size_t k) {
  for (size_t i = 0; i < r.size(); ++i) {
    if (r.firstbyte[i] > r.wait[i] + kRounding) {
      return {at(k, "ttfb_ms", i),
              ms(r.firstbyte[i]) + " is later than the request's wait of " + ms(r.wait[i])};
    }
    if (r.server[i] > r.wait[i] + kClockSlack) {
      return {at(k, "server_ms", i),
              ms(r.server[i]) + " is longer than the request's wait of " + ms(r.wait[i])};
    }
    if (r.serverttfb[i] > r.wait[i] + kClockSlack ||
        (r.server[i] >= 0 && r.serverttfb[i] > r.server[i] + kRounding)) {
      return {at(k, "server_ttfb_ms", i), ms(r.serverttfb[i]) +
                                              " is later than the request's end (wait " +
                                              ms(r.wait[i]) + ", server " + ms(r.server[i]) + ")"};
    }
  }
  return {};
}

// The stored averages and rates of a run or of the totals, against the rows they were made of.
TFileProblem figureproblem(const TStoredFigures& s, const std::string& field,
                           const std::vector<const TSegmentRun*>& runs, double users) {
  double waitsum = 0, bytes = 0;
  size_t rows = 0, aborted = 0, notok = 0;
  for (const TSegmentRun* r : runs) {
    for (size_t i = 0; i < r->size(); ++i) {
      waitsum += r->wait[i];
      bytes += double(r->bytes[i]);
      if (r->socket[i] == kAbortedCode) {
        ++aborted;
      } else if (r->status[i] != 200) {
        ++notok;
      }
    }
    rows += r->size();
  }
  auto wrong = [&field](const char* name, double stored, const std::string& why) {
    return TFileProblem{field + name, number(stored) + " " + why};
  };
  if (!s.written) return {};
  const double avgwait = rows > 0 ? waitsum / double(rows) : 0;
  // Each wait was rounded once, the average once more.
  if (!near(s.avgwait, avgwait, 2 * kRounding)) {
    return wrong("avg_wait_ms", s.avgwait,
                 "is not the average of the requests' waits, " + ms(avgwait));
  }
  // What overall_ms stood for before it was rounded: its figures were made from that.
  const double lo = std::max(s.overallms - kRounding / 2, 0.0), hi = s.overallms + kRounding / 2;
  const double processing = users > 0 ? s.overallms / users : 0;
  if (!near(s.avgprocessing, processing, kRounding)) {
    return wrong("avg_request_processing_ms", s.avgprocessing,
                 "is not overall_ms per user, " + ms(processing));
  }
  // A time that rounded to 0 may have been 0 (no rate at all) or a little more (any rate).
  const double fastest = users > 0 ? 3600000.0 * users / std::max(lo, 1e-9) : 0;
  const double slowest = users > 0 && lo > 0 ? 3600000.0 * users / hi : 0;
  if (s.requestsperhour > fastest + 1 || s.requestsperhour < slowest - 1) {
    return wrong("requests_per_hour", s.requestsperhour,
                 "does not follow from avg_request_processing_ms");
  }
  const double most = bytes / std::max(lo, 1e-9);
  const double least = lo > 0 ? bytes / hi : 0;
  if (s.throughput > most + kRounding || s.throughput < least - kRounding) {
    return wrong("throughput_kb_per_s", s.throughput, "does not follow from the requests' bytes");
  }
  // However the program tells the server's errors from the rest, they are among the requests
  // that did not end in 200.
  const double counted = double(rows - aborted);
  const double highest = counted > 0 ? 100.0 * double(notok) / counted : 0;
  if (s.errorrate > highest + kRounding) {
    return wrong("error_rate_percent", s.errorrate,
                 "is more than the requests allow (" + std::to_string(notok) + " of " +
                     std::to_string(rows - aborted) + " not answered with 200)");
  }
  return {};
}

// A test that ran to its end holds every run.
TFileProblem completeproblem(const TSegmentFile& f) {
  if (f.runs.size() == size_t(f.settings.runs)) return {};
  return {"runs", "holds " + std::to_string(f.runs.size()) + " of the test's " +
                      std::to_string(f.settings.runs) + " runs, but the test was not aborted"};
}

}  // namespace

TFileProblem fileproblem(const TSegmentFile& f) {
  const double waitms = double(f.settings.waitperrun) * 1000;
  double before = 0;   // the end of the previous run's last request
  double allowed = 0;  // how late the current run may end at the latest
  for (size_t k = 0; k < f.runs.size(); ++k) {
    const TSegmentRun& r = f.runs[k];
    if (TFileProblem p = rowproblem(r, k); !p.field.empty()) return p;
    allowed += r.overallms + kLaunchMs + (k > 0 ? waitms : 0);
    if (r.size() == 0) continue;
    size_t first = 0, last = 0;
    for (size_t i = 1; i < r.size(); ++i) {
      if (r.start[i] < r.start[first]) first = i;
      if (r.start[i] + r.wait[i] > r.start[last] + r.wait[last]) last = i;
    }
    // A merge lays segments that ran side by side on one time line: their runs may overlap.
    if (f.mergedsegments == 0 && r.start[first] < before - kClockSlack) {
      return {at(k, "start_ms", first),
              ms(r.start[first]) + " is before the previous run ended (" + ms(before) + ")"};
    }
    const double end = r.start[last] + r.wait[last];
    if (end - r.start[first] > r.overallms + kClockSlack) {
      return {at(k, "start_ms", last), ms(r.start[last]) + " with a wait of " + ms(r.wait[last]) +
                                           " ends " + ms(end - r.start[first]) +
                                           " after the run's first request started, but the " +
                                           "run lasted " + ms(r.overallms)};
    }
    if (f.mergedsegments == 0 && end > allowed + kClockSlack) {
      return {at(k, "start_ms", last), ms(r.start[last]) + " lies past the end of run " +
                                           std::to_string(k + 1) + " (at most " + ms(allowed) +
                                           " after the test start)"};
    }
    before = end;
  }
  if (!f.aborted) {
    if (TFileProblem p = completeproblem(f); !p.field.empty()) return p;
  }
  std::vector<const TSegmentRun*> all;
  double users = 0;
  for (size_t k = 0; k < f.runs.size(); ++k) {
    all.push_back(&f.runs[k]);
    users += f.runs[k].users;
    if (k >= f.runfigures.size()) continue;
    const std::string field = "runs[" + std::to_string(k) + "].";
    if (TFileProblem p = figureproblem(f.runfigures[k], field, {&f.runs[k]}, f.runs[k].users);
        !p.field.empty()) {
      return p;
    }
  }
  if (f.totals.written) {
    double overall = 0;
    for (const TSegmentRun& r : f.runs) overall += r.overallms;
    if (!near(f.totals.overallms, overall, kRounding * double(f.runs.size() + 1))) {
      return {"totals.overall_ms", number(f.totals.overallms) +
                                       " is not the sum of the runs' overall_ms, " + ms(overall)};
    }
  }
  return figureproblem(f.totals, "totals.", all, users);
}
