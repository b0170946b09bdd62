#pragma once
// Helpers of the GUI test programs: answering modal message boxes and finding named controls.

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <QtTest>

// Watches for the next modal message box, remembers its text and closes it, so a test can drive
// code that reports an error in a dialog.
class TBoxAnswerer : public QObject {
 public:
  TBoxAnswerer() {
    connect(&timer_, &QTimer::timeout, this, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      text = box->text();
      ++seen;
      box->done(QMessageBox::Ok);
    });
    timer_.start(10);
  }
  QString text;
  int seen = 0;

 private:
  QTimer timer_;
};

// The child of parent with this object name and type; fails the test when there is none.
template <class T>
T* control(QWidget* parent, const char* name) {
  T* w = parent->findChild<T*>(name);
  if (!w) qWarning("no control %s", name);
  return w;
}
