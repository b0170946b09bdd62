// The charts without a mouse: Tab reaches both charts of the main window, a focused chart shows
// a focus frame, and the Menu key or Shift+F10 opens the same "Print Graph" / "Copy Graph" menu a
// right click opens.

#include <QMenu>
#include <QTimer>
#include <QtTest>

#include "FormControls.h"
#include "gui/HttpAsy1.h"
#include "gui/urllistwindow.h"

namespace {

// The texts of the context menu that pressing key on w opens, read while it is open, then closed.
QStringList menuonkey(QWidget* w, Qt::Key key, Qt::KeyboardModifiers modifiers) {
  QStringList seen;
  QTimer::singleShot(0, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu == nullptr) return;
    for (QAction* a : menu->actions()) seen << a->text();
    menu->close();
  });
  QTest::keyClick(w, key, modifiers);
  // The timer fires inside the menu's own loop; without a menu it fires here.
  QCoreApplication::processEvents();
  return seen;
}

}  // namespace

class ChartKeyboardTest : public QObject {
  Q_OBJECT
 private slots:
  void testTabReachesChartsAndMenuKeysOpenTheirMenu() {
    Turllistwin list;
    THttpAsyForm form(list, {QDir::temp().filePath("pressbolt-chartkeys")});
    form.resize(565, 784);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    ui(form).PageControl2->setCurrentWidget(ui(form).TabSheet6);
    // A ramp result shows both charts.
    form.charts()->setChart2Title("Ramp test: http://127.0.0.1/");
    ui(form).Checkshowgraph->setChecked(false);
    QCoreApplication::processEvents();
    TPlotWidget* chart1 = form.charts()->chart1();
    TPlotWidget* chart2 = form.charts()->chart2();
    QVERIFY(chart1->isVisible() && chart2->isVisible());

    // From the row's last button, "Log Folder...", Tab passes the result tabs and comes to the
    // request chart, then to the ramp chart.
    ui(form).LogFolderButton->setFocus();
    QWidget* seen1 = nullptr;
    for (int i = 0; i < 4 && seen1 != chart1; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      seen1 = QApplication::focusWidget();
    }
    QCOMPARE(seen1, static_cast<QWidget*>(chart1));
    // The focus frame is drawn on screen round the chart, which it leaves as it is, and never
    // into the copied picture.
    const QImage focused = chart1->grab().toImage();
    const QImage copied = chart1->image();
    QCOMPARE(copied.pixel(1, 1), qRgb(255, 255, 255));
    QVERIFY(focused.pixel(1, 1) != copied.pixel(1, 1));
    for (int y = 4; y < copied.height() - 4; y += 3)
      for (int x = 4; x < copied.width() - 4; x += 3)
        QCOMPARE(focused.pixel(x, y), copied.pixel(x, y));
    QTest::keyClick(chart1, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(chart2));
    QVERIFY(chart1->grab().toImage() != focused);
    QTest::keyClick(chart2, Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(chart1));

    const QStringList menu = {"Print Graph", "Copy Graph"};
    for (TPlotWidget* chart : {chart1, chart2}) {
      chart->setFocus();
      QCOMPARE(menuonkey(chart, Qt::Key_Menu, Qt::NoModifier), menu);
      QCOMPARE(menuonkey(chart, Qt::Key_F10, Qt::ShiftModifier), menu);
      // F10 alone is not the menu key.
      QCOMPARE(menuonkey(chart, Qt::Key_F10, Qt::NoModifier), QStringList());
    }
  }
};

QTEST_MAIN(ChartKeyboardTest)
#include "ChartKeyboardTest.moc"
