#pragma once
// TLogMirror: shows the log model in the "Log" view (DisplayMemo) and the "Results" view
// (datamemo). The engine writes thousands of lines in tight loops, so the views catch up in one
// batch per view on a timer instead of one widget update per line.

#include <QObject>
#include <QPalette>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "results/LogModel.h"

// A text view follows its text cursor when it is shown or focused, and appending text leaves the
// cursor at the end of the last line: the view would open scrolled to the right, the start of
// every line out of sight. This puts the cursor at the start of the last line instead; the
// caller keeps the horizontal scroll as the user left it.
template <class TView>
void keeplinestarts(TView& view);

// Appends lines[from..] to doc as the "Results" view shows them, a block each: plain, bold, or
// bold in the palette's highlight colour. The printed report uses it too, so paper and screen
// agree. A document holding lines [0, from) continues where they end.
void appendresultlines(QTextDocument& doc, const std::vector<TResultLine>& lines, size_t from,
                       const QPalette& palette);

class TLogMirror : public QObject {
 public:
  // Mirrors model into the two views every intervalms milliseconds while it runs.
  TLogMirror(TLogModel& model, QPlainTextEdit* log, QTextEdit* results, int intervalms = 100,
             QObject* parent = nullptr);

  // Log lines added to the view in one pass of the event loop: about 2 µs each, so a pass stays
  // well below what a user notices as a frozen window.
  static constexpr size_t kBatchLines = 16384;

  // Brings both views up to date now: a new generation of the model clears the view first, then
  // every line not yet shown is added in one batch.
  void sync();
  // As sync(), but adds at most kBatchLines log lines now and the rest in the next passes of the
  // event loop: a test of many users leaves tens of thousands of lines to show at its end.
  void catchup();
  // Both views at their first line: an opened result is read from its start.
  void showfromtop();
  // While hold() is true the timer leaves the views as they are (sync() still catches up).
  void setholdwhile(std::function<bool()> hold) { hold_ = std::move(hold); }

 private:
  void tick();
  void synclog(size_t most);
  void syncresults();

  TLogModel& model_;
  QPlainTextEdit* log_;
  QTextEdit* results_;
  QTimer timer_;
  QTimer more_;  // the next batch of a catch-up
  std::function<bool()> hold_;
  uint64_t loggen_ = 0;
  size_t logshown_ = 0;
  uint64_t resultgen_ = 0;
  size_t resultshown_ = 0;
};
