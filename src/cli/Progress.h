#pragma once
// TProgress: the one-line progress display on stderr (run r of R, completed of N, errors,
// elapsed), redrawn at most ten times a second and only when it changed. It reads the engine's
// state, so the engine knows nothing about it.

#include <string>

#include "net/EventLoop.h"

class TLoadEngine;

class TProgress {
 public:
  // Draws only when on (stderr is a terminal and --quiet was not given).
  TProgress(TEventLoop& loop, const TLoadEngine& engine, int runs, bool on);
  ~TProgress();
  TProgress(const TProgress&) = delete;
  TProgress& operator=(const TProgress&) = delete;

  // Stops drawing and clears the line, so the results that follow start on a clean line.
  void finish();

  // The line for the engine's current state (without the terminal's control sequences).
  static std::string line(const TLoadEngine& engine, int runs);

 private:
  void draw();

  const TLoadEngine& engine_;
  int runs_;
  TTimer timer_;
  std::string shown_;
  bool on_;
};
