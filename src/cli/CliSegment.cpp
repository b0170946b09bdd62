#include "cli/CliSegment.h"

#include <uv.h>

#include <cmath>
#include <cstdio>
#include <sstream>

#include "engine/LoadEngine.h"
#include "segments/SegmentOption.h"
#include "segments/StartTime.h"
#include "stored/ResultFrame.h"

namespace {

void say(const std::string& text) {
  std::fprintf(stderr, "pressbolt-cli: %s\n", text.c_str());
}

bool split(const TCliJob& job) {
  return job.segments > 1;
}

}  // namespace

TCliSegment::TCliSegment(const TCliJob& job) : job_(job) {
  if (split(job) && job.startat && job.settings.runs > 1) {
    const bool derived = !job.runinterval;
    const int64_t interval =
        derived ? derivedinterval(job.settings.waitperrun) : int64_t(*job.runinterval * 1000);
    schedule_.emplace(*job.startat, interval, derived);
  }
}

void TCliSegment::prepare(TLoadEngine& engine, TEventLoop& loop) {
  if (split(job_) && job_.output("--json") == "-") {
    const int64_t bytes =
        framedsizeestimate(plannedrequests(job_.settings, job_.segment, job_.segments));
    if (bytes > kDefaultLogBytes * 9 / 10) {
      say("warning: the result of this segment will take about " +
          std::to_string((bytes + (1 << 20) - 1) >> 20) +
          " MiB in its log, near or past the 10 MiB at which a container log is rotated by "
          "default, and a rotated log loses its start: write it to a mounted volume instead "
          "(--json /results/segment-N.json) or raise the node's containerLogMaxSize");
    }
  }
  if (!schedule_) return;
  say(schedule_->statement());
  uv_loop_t* uv = loop.uv();
  engine.setrundelay([this, uv](int runindex) {
    // The loop's cached time may lag behind after a long callback: the timer counts from now.
    uv_update_time(uv);
    return schedule_->delay(runindex + 1, preciseepochms());
  });
}

void TCliSegment::started() {
  if (!split(job_)) return;
  clock_ = clockstate();
  if (schedule_) schedule_->fired(1, preciseepochms());
}

void TCliSegment::describe(TReportInfo& info) const {
  if (!split(job_)) return;
  info.members.emplace_back("clock", clockjson(clock_));
  if (!schedule_) return;
  info.members.emplace_back("run_schedule", schedule_->json());
  // A run that fired on time was never noted late.
  const std::vector<double>& late = schedule_->late();
  for (int r = 0; r < job_.settings.runs; ++r) {
    std::ostringstream member;
    member << "{\"late_ms\":" << (size_t(r) < late.size() ? std::nearbyint(late[r] * 10) / 10 : 0)
           << "}";
    info.runmembers.push_back(member.str());
  }
}

std::string TCliSegment::stdoutresult(const TReportInfo& info, const std::string& json) const {
  if (!split(job_)) return json;
  return frameresult(json, info.segment, info.segments, info.testid);
}
