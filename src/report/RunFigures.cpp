// The figures of a whole test: its runs' and the totals over all of them.

#include "report/RunFigures.h"

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
    all.ok += f.ok;
    all.timeouts += f.timeouts;
    all.errors += f.errors;
    all.abortedrequests += f.abortedrequests;
    all.clienterrors += f.clienterrors;
    all.overallms += f.overallms;
    all.bytes += f.bytes;
    for (const auto& [code, n] : f.statuses) countcode(all.statuses, code, n);
    for (const auto& [code, n] : f.socketcodes) countcode(all.socketcodes, code, n);
    for (double w : r.wait) waitsum += w;
    waits.insert(waits.end(), r.wait.begin(), r.wait.end());
    firstbytes.insert(firstbytes.end(), r.firstbyte.begin(), r.firstbyte.end());
    servers.insert(servers.end(), r.server.begin(), r.server.end());
    serverttfbs.insert(serverttfbs.end(), r.serverttfb.begin(), r.serverttfb.end());
    connects.insert(connects.end(), r.connect.begin(), r.connect.end());
    tlss.insert(tlss.end(), r.tls.begin(), r.tls.end());
  }
  deriverates(all, waitsum);
  all.wait = percentiles(std::move(waits));
  all.firstbyte = percentiles(std::move(firstbytes));
  all.server = percentiles(std::move(servers));
  all.serverttfb = percentiles(std::move(serverttfbs));
  all.connect = percentiles(std::move(connects));
  all.tls = percentiles(std::move(tlss));
  return t;
}
