#include "cli/Progress.h"

#include <unistd.h>

#include <cstdio>

#include "engine/LoadEngine.h"
#include "results/Clock.h"

TProgress::TProgress(TEventLoop& loop, const TLoadEngine& engine, int runs, bool on)
    : engine_(engine), runs_(runs), timer_(loop), on_(on) {
  if (on_)
    timer_.Start(
        100, [this] { draw(); }, 100);
}

TProgress::~TProgress() {
  finish();
}

std::string TProgress::line(const TLoadEngine& e, int runs) {
  const int run = e.runindex < runs ? e.runindex + 1 : runs;
  const long double seconds = (elapsedms() - e.teststart) / 1000;
  char elapsed[32];
  std::snprintf(elapsed, sizeof elapsed, "%.1f s", static_cast<double>(seconds));
  std::string text = "run " + std::to_string(run) + " of " + std::to_string(runs);
  if (e.phase() == TLoadEngine::TPhase::waiting) {
    text = "waiting for " + text;
  } else {
    text += ": ";
    const size_t done = static_cast<size_t>(e.runusers) - e.clientsleft;
    text += std::to_string(done) + " of " + std::to_string(e.runusers) + " completed, " +
            std::to_string(e.tally.errors()) + " errors";
  }
  return text + ", " + elapsed + (e.aborted ? " (aborting)" : "");
}

void TProgress::draw() {
  std::string text = line(engine_, runs_);
  if (text == shown_) return;
  shown_ = text;
  std::fprintf(stderr, "\r\033[K%s", text.c_str());
  std::fflush(stderr);
}

void TProgress::finish() {
  if (!on_) return;
  on_ = false;
  timer_.Stop();
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
}
