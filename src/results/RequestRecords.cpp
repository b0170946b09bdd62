#include "results/RequestRecords.h"

#include <cmath>

double tomicrosecond(double ms) {
  return std::round(ms * 1000.0) / 1000.0;
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
  run.start.push_back(static_cast<double>(r.start));
  run.wait.push_back(static_cast<double>(r.wait));
  run.firstbyte.push_back(r.firstbyte < 0 ? -1.0 : static_cast<double>(r.firstbyte));
  run.status.push_back(r.status);
  run.socketcode.push_back(r.socketcode);
  run.bytes.push_back(r.bytes);
  run.user.push_back(r.user);
  run.url.push_back(it->second);
  run.server.push_back(r.server < 0 ? -1.0 : static_cast<double>(r.server));
  run.serverttfb.push_back(r.serverttfb < 0 ? -1.0 : static_cast<double>(r.serverttfb));
  run.connect.push_back(r.connect < 0 ? -1.0 : static_cast<double>(r.connect));
  run.tls.push_back(r.tls < 0 ? -1.0 : static_cast<double>(r.tls));
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
