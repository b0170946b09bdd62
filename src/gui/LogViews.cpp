#include "gui/LogViews.h"

#include <QScrollBar>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>

template <class TView>
void keeplinestarts(TView& view) {
  QTextCursor cursor = view.textCursor();
  cursor.movePosition(QTextCursor::End);
  cursor.movePosition(QTextCursor::StartOfBlock);
  view.setTextCursor(cursor);
}

template void keeplinestarts(QPlainTextEdit&);
template void keeplinestarts(QTextEdit&);

void appendresultlines(QTextDocument& doc, const std::vector<TResultLine>& lines, size_t from,
                       const QPalette& palette) {
  QTextCharFormat plain;
  plain.setFontWeight(QFont::Normal);
  plain.setForeground(palette.color(QPalette::Text));
  QTextCharFormat bold = plain;
  bold.setFontWeight(QFont::Bold);
  QTextCharFormat highlight = bold;
  highlight.setForeground(palette.color(QPalette::Highlight));

  QTextCursor cursor(&doc);
  cursor.movePosition(QTextCursor::End);
  cursor.beginEditBlock();
  for (size_t i = from; i < lines.size(); ++i) {
    // The empty document already holds the first (empty) block.
    if (i > 0) cursor.insertBlock();
    const TResultLine& l = lines[i];
    const QTextCharFormat& f = l.style == TLineStyle::bold        ? bold
                               : l.style == TLineStyle::highlight ? highlight
                                                                  : plain;
    cursor.setCharFormat(f);
    cursor.insertText(QString::fromStdString(l.text), f);
  }
  cursor.endEditBlock();
}

TLogMirror::TLogMirror(TLogModel& model, QPlainTextEdit* log, QTextEdit* results, int intervalms,
                       QObject* parent)
    : QObject(parent), model_(model), log_(log), results_(results) {
  // Start from an empty view that matches the model's current generation.
  loggen_ = model_.loggeneration();
  resultgen_ = model_.resultgeneration();
  log_->clear();
  results_->clear();
  logshown_ = resultshown_ = 0;
  connect(&timer_, &QTimer::timeout, this, &TLogMirror::tick);
  more_.setSingleShot(true);
  connect(&more_, &QTimer::timeout, this, &TLogMirror::tick);
  timer_.start(intervalms);
  sync();
}

void TLogMirror::tick() {
  if (hold_ && hold_()) return;
  catchup();
}

void TLogMirror::sync() {
  synclog(model_.loglines().size());
  syncresults();
}

void TLogMirror::showfromtop() {
  log_->moveCursor(QTextCursor::Start);
  results_->moveCursor(QTextCursor::Start);
  for (QAbstractScrollArea* view :
       {static_cast<QAbstractScrollArea*>(log_), static_cast<QAbstractScrollArea*>(results_)}) {
    view->verticalScrollBar()->setValue(0);
    view->horizontalScrollBar()->setValue(0);
  }
}

void TLogMirror::catchup() {
  synclog(kBatchLines);
  syncresults();
  if (logshown_ < model_.loglines().size()) more_.start(0);
}

void TLogMirror::synclog(size_t most) {
  if (model_.loggeneration() != loggen_) {
    loggen_ = model_.loggeneration();
    logshown_ = 0;
    log_->clear();
  }
  const auto& lines = model_.loglines();
  if (logshown_ >= lines.size()) return;
  const size_t end = lines.size() - logshown_ > most ? logshown_ + most : lines.size();
  QString text;
  for (size_t i = logshown_; i < end; ++i) {
    if (i > logshown_) text += '\n';
    text += QString::fromStdString(lines[i]);
  }
  logshown_ = end;
  QScrollBar* across = log_->horizontalScrollBar();
  const int left = across->value();
  log_->appendPlainText(text);
  keeplinestarts(*log_);
  across->setValue(left);
}

void TLogMirror::syncresults() {
  if (model_.resultgeneration() != resultgen_) {
    resultgen_ = model_.resultgeneration();
    resultshown_ = 0;
    results_->clear();
  }
  const auto& lines = model_.resultlines();
  if (resultshown_ >= lines.size()) return;
  QScrollBar* across = results_->horizontalScrollBar();
  const int left = across->value();
  appendresultlines(*results_->document(), lines, resultshown_, results_->palette());
  resultshown_ = lines.size();
  keeplinestarts(*results_);
  across->setValue(left);
}
