#include "results/RequestRecords.h"

#include <cmath>

double tomicrosecond(double ms) {
  return std::round(ms * 1000.0) / 1000.0;
}

void TRunRecords::add(const TRequestOutcome& r, uint32_t urlindex) {
  start.push_back(static_cast<double>(r.start));
  wait.push_back(static_cast<double>(r.wait));
  firstbyte.push_back(r.firstbyte < 0 ? -1.0 : static_cast<double>(r.firstbyte));
  status.push_back(r.status);
  socketcode.push_back(r.socketcode);
  bytes.push_back(r.bytes);
  user.push_back(r.user);
  url.push_back(urlindex);
  server.push_back(r.server < 0 ? -1.0 : static_cast<double>(r.server));
  serverttfb.push_back(r.serverttfb < 0 ? -1.0 : static_cast<double>(r.serverttfb));
  connect.push_back(r.connect < 0 ? -1.0 : static_cast<double>(r.connect));
  tls.push_back(r.tls < 0 ? -1.0 : static_cast<double>(r.tls));
}

namespace {

template <typename... TColumns>
void emptied(size_t rows, TColumns&... columns) {
  ((columns.clear(), columns.reserve(rows)), ...);
}

}  // namespace

void TRunRecords::reset(int runindex, size_t rows) {
  const TRunRecords none;
  run = runindex;
  users = none.users;
  ended = none.ended;
  aborted = none.aborted;
  overallms = none.overallms;
  startloop = none.startloop;
  emptied(rows, start, wait, firstbyte, status, socketcode, bytes, user, url, server, serverttfb,
          connect, tls);
}

TRunRecords& TRequestRecords::runrecords(int run) {
  if (runs_.empty() || runs_.back().run != run) {
    runs_.emplace_back();
    runs_.back().run = run;
  }
  return runs_.back();
}

void TRequestRecords::add(const TRequestOutcome& r) {
  TRunRecords& run = runrecords(r.run);
  const std::string& url = r.url != nullptr ? *r.url : std::string();
  auto [it, added] = urlindex_.try_emplace(url, static_cast<uint32_t>(urls_.size()));
  if (added) urls_.push_back(url);
  run.add(r, it->second);
}

void TRequestRecords::endrun(int run, int users, long double overallms, bool aborted) {
  TRunRecords& records = runrecords(run);
  records.users = users;
  records.overallms = overallms;
  records.aborted = aborted;
  records.ended = true;
}

size_t TRequestRecords::requests() const {
  size_t n = 0;
  for (const auto& run : runs_) n += run.size();
  return n;
}
