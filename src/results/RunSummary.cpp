// The summary of one run: its figures from the records, its lines from the figures.

#include "results/RunSummary.h"

#include <algorithm>

#include "common/Rounding.h"
#include "common/Text.h"
#include "results/Outcome.h"
#include "results/RunLines.h"
#include "results/StatusText.h"

void countcode(std::vector<std::pair<int, size_t>>& tally, int code, size_t n) {
  auto it =
      std::find_if(tally.begin(), tally.end(), [code](const auto& e) { return e.first == code; });
  if (it == tally.end()) {
    tally.emplace_back(code, n);
  } else {
    it->second += n;
  }
}

void deriverates(TRunFigures& f, double waitsum) {
  const size_t reached = f.requests - f.abortedrequests - f.clienterrors;
  if (reached > 0)
    f.errorrate = 100.0 * static_cast<double>(f.errors) / static_cast<double>(reached);
  if (f.requests > 0) f.avgwait = waitsum / static_cast<double>(f.requests);
  if (f.users > 0) f.avgprocessing = f.overallms / f.users;
  if (f.avgprocessing > 0) f.requestsperhour = 3600000.0 / f.avgprocessing;
  if (f.overallms > 0) f.throughput = static_cast<double>(f.bytes) / 1000.0 / f.overallms * 1000.0;
}

TRunFigures runfigures(const TRunRecords& r) {
  TRunFigures f;
  f.run = r.run + 1;
  f.users = r.users;
  f.aborted = r.aborted || !r.ended;
  f.requests = r.size();
  f.overallms = static_cast<double>(r.overallms);
  double waitsum = 0;
  for (size_t i = 0; i < r.size(); ++i) {
    waitsum += r.wait[i];
    f.bytes += r.bytes[i];
    switch (outcomeof(r.status[i], r.socketcode[i])) {
      case ocAborted:
        ++f.abortedrequests;
        break;
      case ocClientError:
        ++f.clienterrors;
        break;
      case ocTimeout:
        ++f.timeouts;
        ++f.errors;
        break;
      case ocError:
        ++f.errors;
        break;
      case ocOk:
        ++f.ok;
        break;
    }
    countcode(f.statuses, r.status[i]);
    countcode(f.socketcodes, r.socketcode[i]);
  }
  deriverates(f, waitsum);
  f.wait = percentiles(r.wait);
  f.firstbyte = percentiles(r.firstbyte);
  f.server = percentiles(r.server);
  f.serverttfb = percentiles(r.serverttfb);
  f.connect = percentiles(r.connect);
  f.tls = percentiles(r.tls);
  return f;
}

namespace {

// The status tally as the logs list it: 200 first, even when no request had it, then the other
// codes in the order they first occurred.
std::vector<std::pair<int, size_t>> logtally(const TRunFigures& f) {
  std::vector<std::pair<int, size_t>> tally{{200, 0}};
  for (const auto& [code, n] : f.statuses) {
    if (code == 200) {
      tally.front().second = n;
    } else {
      tally.emplace_back(code, n);
    }
  }
  return tally;
}

// The averages of the run alone, under "Average Results of this Run:".
void thisrun(const TRunRecords& r, const TRunFigures& f, long double waitsum,
             std::vector<std::string>& log) {
  log.push_back(" ");
  log.push_back("Average Results of this Run:");
  const long double overall = r.overallms;
  log.push_back("  Overall Time: " + rounded(overall) + " msec");
  const long double avg = overall / r.users;
  std::string line = "  Average Request Processing Time: " + rounded(avg) + " msec";
  if (overall != 0) line += " (equals ~" + rounded(1 / avg * 1000 * 60 * 60) + " requests/h)";
  log.push_back(line);
  if (r.size() > 0) log.push_back(waitfoot(waitsum / r.size(), r.users));
  line = "  Total Bytes: " + std::to_string(f.bytes) + " Bytes (" + std::to_string(f.bytes / 1000) +
         " kB)";
  if (overall != 0) {
    line += " (Throughput ~" + rounded(f.bytes / 1000.0L / overall * 1000) + " kB/sec)";
  }
  log.push_back(line);
}

}  // namespace

TRunSummary runsummary(const TRunRecords& r, bool ramp, const std::array<std::string, 4>& foot,
                       TRunsSoFar& sofar, long double perhour) {
  TRunSummary s;
  s.figures = runfigures(r);
  s.foot = foot;
  // Summed as wide as the engine's clock keeps a time.
  long double waitsum = 0;
  for (double w : r.wait) waitsum += w;
  sofar.waitsum += waitsum;
  sofar.requestscounted += static_cast<long double>(r.size());
  if (s.figures.aborted || r.users <= 0) return s;

  const auto tally = logtally(s.figures);
  s.log.push_back("Resulting statuscodes:");
  for (const auto& [code, n] : tally) {
    s.log.push_back(std::to_string(n) + "x \"" + std::to_string(code) + "\" (=" + statustext(code) +
                    ")");
  }
  s.foot[0] = statussummary(tally);
  s.results.push_back({s.foot[0], TLineStyle::plain});
  const int clienterrors = static_cast<int>(s.figures.clienterrors);
  if (clienterrors > 0) {
    s.log.push_back(clienterrorline(clienterrors, r.users));
    s.results.push_back({s.log.back(), TLineStyle::plain});
  }
  thisrun(r, s.figures, waitsum, s.log);

  sofar.runtimesum += r.overallms / r.users;
  sofar.runscounted += 1;
  const long double mean = sofar.runtimesum / sofar.runscounted;
  if (ramp) {
    // Every answer but 200 is an error of the step, this machine's failures included.
    const int errors = static_cast<int>(r.size() - tally.front().second);
    if (mean > 0) s.foot[2] = rampfoot(r.users, mean, perhour);
    s.ramp = TRampPoint{r.users, mean, ramplabel(errors, r.users, clienterrors)};
    // The step's own mean wait, as its processing time is the step's own.
    if (r.size() > 0) {
      const long double runwait = waitsum / r.size();
      s.rampwait = TRampPoint{r.users, runwait, ""};
      s.foot[3] = waitfoot(runwait, r.users);
    }
    sofar.runtimesum = sofar.runscounted = 0;
  } else {
    s.foot[2] = runsfoot(sofar.runscounted, mean, perhour);
    if (sofar.requestscounted > 0) {
      s.foot[3] = waitfoot(sofar.waitsum / sofar.requestscounted, r.users);
    }
  }
  s.log.push_back("RUN DONE");
  s.log.push_back(std::string(51, '='));
  s.log.push_back("");
  if (!ramp) s.log.push_back("Average Results of All Runs:");
  s.log.push_back(s.foot[2]);
  s.log.push_back(s.foot[3]);
  s.log.push_back(" ");
  s.results.push_back({std::string(trim(s.foot[2], " ")), TLineStyle::bold});
  s.results.push_back({std::string(trim(s.foot[3], " ")), TLineStyle::bold});
  return s;
}

void showsummary(const TRunSummary& s, TLogModel& logs, TChartModel& charts) {
  for (const TResultLine& line : s.results) {
    logs.logresult(line);
  }
  for (int i = 0; i < 4; ++i) {
    if (charts.foot()[size_t(i)] != s.foot[size_t(i)]) charts.setfoot(i, s.foot[size_t(i)]);
  }
  if (s.ramp) charts.addramp(s.ramp->users, s.ramp->y, s.ramp->label);
  if (s.rampwait) charts.addrampwait(s.rampwait->users, s.rampwait->y);
}
