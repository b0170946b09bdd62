#include "results/LogModel.h"

#include <ctime>

#include "results/LogFile.h"

namespace {

TLogModel::TimeSource timesource = nullptr;

// The user's short date, a blank, the long time. The text only changes once a second, and the
// engine logs a line per user in a tight loop, so the last second's text is kept.
const std::string& localstamp() {
  thread_local time_t lastsecond = -1;
  thread_local std::string laststamp;
  time_t now = std::time(nullptr);
  if (now != lastsecond) {
    tm local{};
    localtime_r(&now, &local);
    char buf[128];
    size_t n = std::strftime(buf, sizeof buf, "%x %X", &local);
    laststamp.assign(buf, n);
    lastsecond = now;
  }
  return laststamp;
}

}  // namespace

std::string TLogModel::timestamp() {
  return timesource ? timesource() : localstamp();
}

void TLogModel::settimestampsource(TimeSource source) {
  timesource = source;
}

void TLogModel::log(std::string_view text) {
  if (timesource) stamp_ = timesource();
  const std::string& stamp = timesource ? stamp_ : localstamp();
  if (file_ != nullptr) {
    file_->appendstamped(stamp, text);
    if (!keeplines_) return;
  }
  line_.assign(stamp);
  line_ += ": ";
  line_ += text;
  if (sink_) {
    sink_(line_);
    if (!keeplines_) return;
  }
  if (log_.size() < maxloglines_) {
    log_.push_back(line_);
  } else if (!logcut_) {
    logcut_ = true;
    log_.push_back("... The \"Log\" view ends here after " + std::to_string(maxloglines_) +
                   " lines; the detailed log file holds every line of the test.");
  }
}

void TLogModel::logdata(const std::string& text) {
  results_.push_back({text, TLineStyle::plain});
  results_.push_back({" ", TLineStyle::plain});
}

void TLogModel::logdatanocr(const std::string& text) {
  results_.push_back({text, TLineStyle::plain});
}

void TLogModel::logdatabold(const std::string& text) {
  results_.push_back({text, TLineStyle::bold});
}

void TLogModel::logdatared(const std::string& text) {
  results_.push_back({text, TLineStyle::highlight});
}

void TLogModel::clear() {
  clearlog();
  clearresults();
}

void TLogModel::clearlog() {
  log_.clear();
  keeplines_ = true;
  logcut_ = false;
  ++loggen_;
}

void TLogModel::clearresults() {
  results_.clear();
  ++resultgen_;
}
