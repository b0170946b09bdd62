#include "report/RunFigures.h"

#include <algorithm>

#include "results/Outcome.h"

namespace {

void count(std::vector<std::pair<int, size_t>>& tally, int code, size_t n = 1) {
  auto it =
      std::find_if(tally.begin(), tally.end(), [code](const auto& e) { return e.first == code; });
  if (it == tally.end()) {
    tally.emplace_back(code, n);
  } else {
    it->second += n;
  }
}

// The rates that follow from the counts and sums already in f.
void derive(TRunFigures& f, double waitsum) {
  const size_t reached = f.requests - f.abortedrequests - f.clienterrors;
  if (reached > 0)
    f.errorrate = 100.0 * static_cast<double>(f.errors) / static_cast<double>(reached);
  if (f.requests > 0) f.avgwait = waitsum / static_cast<double>(f.requests);
  if (f.users > 0) f.avgprocessing = f.overallms / f.users;
  if (f.avgprocessing > 0) f.requestsperhour = 3600000.0 / f.avgprocessing;
  if (f.overallms > 0) f.throughput = static_cast<double>(f.bytes) / 1000.0 / f.overallms * 1000.0;
}

}  // namespace

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
      case ocError:
      case ocTimeout:
        ++f.errors;
        break;
      case ocOk:
        break;
    }
    count(f.statuses, r.status[i]);
    count(f.socketcodes, r.socketcode[i]);
  }
  derive(f, waitsum);
  f.wait = percentiles(r.wait);
  f.firstbyte = percentiles(r.firstbyte);
  f.server = percentiles(r.server);
  f.serverttfb = percentiles(r.serverttfb);
  f.connect = percentiles(r.connect);
  f.tls = percentiles(r.tls);
  return f;
}

TTestFigures testfigures(const TRequestRecords& records) {
  TTestFigures t;
  TRunFigures& all = t.totals;
  std::vector<double> waits, firstbytes, servers, serverttfbs, connects, tlss;
  waits.reserve(records.requests());
  firstbytes.reserve(records.requests());
  servers.reserve(records.requests());
  serverttfbs.reserve(records.requests());
  double waitsum = 0;
  for (const TRunRecords& r : records.runs()) {
    t.runs.push_back(runfigures(r));
    const TRunFigures& f = t.runs.back();
    all.users += f.users;
    all.aborted = all.aborted || f.aborted;
    all.requests += f.requests;
    all.errors += f.errors;
    all.abortedrequests += f.abortedrequests;
    all.clienterrors += f.clienterrors;
    all.overallms += f.overallms;
    all.bytes += f.bytes;
    for (const auto& [code, n] : f.statuses) count(all.statuses, code, n);
    for (const auto& [code, n] : f.socketcodes) count(all.socketcodes, code, n);
    for (double w : r.wait) waitsum += w;
    waits.insert(waits.end(), r.wait.begin(), r.wait.end());
    firstbytes.insert(firstbytes.end(), r.firstbyte.begin(), r.firstbyte.end());
    servers.insert(servers.end(), r.server.begin(), r.server.end());
    serverttfbs.insert(serverttfbs.end(), r.serverttfb.begin(), r.serverttfb.end());
    connects.insert(connects.end(), r.connect.begin(), r.connect.end());
    tlss.insert(tlss.end(), r.tls.begin(), r.tls.end());
  }
  derive(all, waitsum);
  all.wait = percentiles(std::move(waits));
  all.firstbyte = percentiles(std::move(firstbytes));
  all.server = percentiles(std::move(servers));
  all.serverttfb = percentiles(std::move(serverttfbs));
  all.connect = percentiles(std::move(connects));
  all.tls = percentiles(std::move(tlss));
  return t;
}
