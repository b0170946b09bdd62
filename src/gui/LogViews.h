#pragma once
// TLogMirror: shows the log model in the "Log" view (DisplayMemo) and the "Results" view
// (datamemo). The engine writes thousands of lines in tight loops, so the views catch up in one
// batch per view on a timer instead of one widget update per line.

#include <QObject>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTimer>
#include <cstdint>

#include "results/LogModel.h"

class TLogMirror : public QObject {
 public:
  // Mirrors model into the two views every intervalms milliseconds while it runs.
  TLogMirror(TLogModel& model, QPlainTextEdit* log, QTextEdit* results, int intervalms = 100,
             QObject* parent = nullptr);

  // Brings both views up to date now: a new generation of the model clears the view first, then
  // every line not yet shown is added in one batch.
  void sync();

 private:
  void synclog();
  void syncresults();

  TLogModel& model_;
  QPlainTextEdit* log_;
  QTextEdit* results_;
  QTimer timer_;
  uint64_t loggen_ = 0;
  size_t logshown_ = 0;
  uint64_t resultgen_ = 0;
  size_t resultshown_ = 0;
};
