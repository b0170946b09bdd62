// The multiple-URL window: loading replaces the list, saving writes CR LF lines, clearing empties
// it, and files that vanished or cannot be written leave the list as it was with an error box.
// Its window: no minimise or maximise button, its designed size beside the main window, back
// with the main window, and Tab moving on.

#include <QWindow>
#include <QtTest>

#include "GuiSupport.h"
#include "gui/urllistwindow.h"
#include "settings/UrlListFile.h"
#include "support/TestSupport.h"

class UrlListWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void testDesign() {
    Turllistwin w;
    QCOMPARE(w.windowTitle(), QString("Pressbolt - Multiple URLs"));
    QCOMPARE(w.minimumSize(), QSize(200, 50));
    QCOMPARE(w.size(), QSize(400, 199));
    QVERIFY(!w.isVisible());
    QCOMPARE(w.urllist()->lineWrapMode(), QPlainTextEdit::NoWrap);
    QStringList captions;
    for (auto* b : w.findChildren<QPushButton*>()) captions << b->text();
    QCOMPARE(captions, QStringList({"Load URLs", "Save URLs", "Clear URLs"}));
    // No minimise or maximise button: the window asks for none, and its type (first in the X11
    // window types) is one that openbox gives none.
    w.show();
    const Qt::WindowFlags flags = w.windowHandle()->flags();
    QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QVERIFY(flags & Qt::WindowStaysOnTopHint);
    QCOMPARE(w.windowHandle()->property(Turllistwin::kWindowTypeProperty).toInt(),
             Turllistwin::kToolbarType);
  }

  void testPlacedBesideTheMainWindowAtItsDesignedSize() {
    const QSize design = Turllistwin::kDesignSize;
    const QRect screen(0, 0, 1920, 1080);
    // Room on the right: beside it, 8 pixels off the main window's frame.
    QCOMPARE(Turllistwin::besidemain(QRect(600, 140, 567, 800), screen, design),
             QRect(1175, 148, 400, 199));
    // More room on the left.
    QCOMPARE(Turllistwin::besidemain(QRect(1300, 0, 567, 800), screen, design),
             QRect(1300 - 8 - 400, 16, 400, 199));
    // A centred main window on a 1280-pixel screen leaves 341 pixels on either side: the window
    // keeps its size, and the window system places it.
    QVERIFY(Turllistwin::besidemain(QRect(356, 100, 567, 800), QRect(0, 0, 1280, 1024), design)
                .isNull());
    // A size the user gave it counts the same way.
    QCOMPARE(Turllistwin::besidemain(QRect(356, 100, 567, 800), QRect(0, 0, 1280, 1024),
                                     QSize(300, 150)),
             QRect(931, 108, 300, 150));
  }

  void testKeptOnTheScreenWithItsFrame() {
    const QRect screen(0, 0, 1280, 1024);
    // Inside already: unchanged.
    QCOMPARE(Turllistwin::keptinside(QRect(100, 100, 400, 199), screen), QRect(100, 100, 400, 199));
    // Stored on a larger screen, hanging over the right and bottom edges: moved in, frame and all.
    QCOMPARE(Turllistwin::keptinside(QRect(900, 840, 400, 199), screen), QRect(872, 817, 400, 199));
    // Above and left of the screen: the title bar comes back into reach.
    QCOMPARE(Turllistwin::keptinside(QRect(-50, -30, 400, 199), screen), QRect(8, 16, 400, 199));
    // Larger than the screen: shrunk to what fits.
    QCOMPARE(Turllistwin::keptinside(QRect(0, 0, 2000, 1500), screen), QRect(8, 16, 1264, 1000));
    // Beside a main window that sits low on the screen: lifted until its bottom edge shows.
    QCOMPARE(Turllistwin::besidemain(QRect(600, 900, 567, 100), QRect(0, 0, 1920, 1080),
                                     Turllistwin::kDesignSize),
             QRect(1175, 873, 400, 199));
  }

  void testComesBackWithTheMainWindow() {
    QWidget main;
    Turllistwin w;
    w.follow(main);
    main.show();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // Minimised by itself: the main window shown again or activated brings it back.
    for (int how = 0; how < 2; ++how) {
      w.setWindowState(Qt::WindowMinimized);
      QCoreApplication::processEvents();
      QVERIFY(w.isMinimized());
      if (how == 0) {
        main.hide();
        main.show();
      } else {
        QApplication::setActiveWindow(&w);
        QApplication::setActiveWindow(&main);
      }
      QCoreApplication::processEvents();
      QVERIFY2(!w.isMinimized() && w.isVisible(), how == 0 ? "shown" : "activated");
    }
    // It goes while the main window is minimised and comes back with it.
    main.showMinimized();
    QCoreApplication::processEvents();
    QVERIFY(!w.isVisible());
    main.showNormal();
    QCoreApplication::processEvents();
    QVERIFY(w.isVisible());
    // A list hidden by its option stays hidden.
    w.hide();
    main.showMinimized();
    main.showNormal();
    QCoreApplication::processEvents();
    QVERIFY(!w.isVisible());
    // And one hidden by its option while it was gone with the main window, too.
    w.show();
    main.showMinimized();
    w.hide();
    main.showNormal();
    QCoreApplication::processEvents();
    QVERIFY(!w.isVisible());
  }

  void testTabMovesOnAndTypesNothing() {
    Turllistwin w;
    w.setlines({"http://127.0.0.1/a"});
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QApplication::setActiveWindow(&w);
    w.urllist()->setFocus();
    w.urllist()->moveCursor(QTextCursor::End);
    QVERIFY(QTest::qWaitFor([&] { return w.urllist()->hasFocus(); }));
    QTest::keyClick(w.urllist(), Qt::Key_Tab);
    QTest::keyClicks(w.focusWidget(), "Z");
    QVERIFY(!w.urllist()->hasFocus());
    QCOMPARE(w.lines(), QStringList({"http://127.0.0.1/a"}));
  }

  void testTextLines() {
    QCOMPARE(Turllistwin::textlines(""), QStringList());
    QCOMPARE(Turllistwin::textlines("a"), QStringList({"a"}));
    QCOMPARE(Turllistwin::textlines("a\n"), QStringList({"a"}));
    QCOMPARE(Turllistwin::textlines("a\n\nb"), QStringList({"a", "", "b"}));
    QCOMPARE(Turllistwin::textlines("\n"), QStringList({""}));
  }

  void testLoadReplacesAndSaveWritesCrLf() {
    TTempDir dir;
    writefile(dir.file("in.txt"), "http://127.0.0.1/1\r\nhttp://127.0.0.1/2\n\nlast");
    Turllistwin w;
    w.setlines({"old 1", "old 2", "old 3", "old 4"});
    QVERIFY(w.loadfrom(QString::fromStdString(dir.file("in.txt"))));
    QCOMPARE(w.lines(), QStringList({"http://127.0.0.1/1", "http://127.0.0.1/2", "", "last"}));
    QVERIFY(w.saveto(QString::fromStdString(dir.file("out.txt"))));
    QCOMPARE(readfile(dir.file("out.txt")),
             std::string("http://127.0.0.1/1\r\nhttp://127.0.0.1/2\r\n\r\nlast\r\n"));
    // A saved list loads back unchanged, and saving over a file replaces it.
    w.setlines({"x"});
    QVERIFY(w.saveto(QString::fromStdString(dir.file("out.txt"))));
    QCOMPARE(readfile(dir.file("out.txt")), std::string("x\r\n"));
    QVERIFY(w.loadfrom(QString::fromStdString(dir.file("out.txt"))));
    QCOMPARE(w.lines(), QStringList({"x"}));
  }

  void testClear() {
    Turllistwin w;
    w.ClearButtonClick();
    QVERIFY(w.lines().isEmpty());
    w.setlines({"a", "", "b"});
    w.ClearButtonClick();
    QVERIFY(w.lines().isEmpty());
  }

  void testFailuresKeepTheListAndSayWhy() {
    TTempDir dir;
    Turllistwin w;
    w.setlines({"keep me"});
    TBoxAnswerer answer;
    // The file vanished between the dialog and the reading.
    QVERIFY(!w.loadfrom(QString::fromStdString(dir.file("gone.txt"))));
    QCOMPARE(answer.seen, 1);
    QVERIFY2(answer.text.contains("gone.txt"), qPrintable(answer.text));
    QCOMPARE(w.lines(), QStringList({"keep me"}));
    // A directory cannot be read as a list.
    QVERIFY(!w.loadfrom(QString::fromStdString(dir.path())));
    QCOMPARE(answer.seen, 2);
    QCOMPARE(w.lines(), QStringList({"keep me"}));
    // Nor can a file be written into a folder that does not exist.
    QVERIFY(!w.saveto(QString::fromStdString(dir.file("missing/out.txt"))));
    QCOMPARE(answer.seen, 3);
    QVERIFY2(answer.text.startsWith("Unable to write"), qPrintable(answer.text));
  }

  void testFileFunctionsLeaveLinesOnFailure() {
    std::vector<std::string> lines{"a"};
    std::string error;
    QVERIFY(!readurlfile("/nonexistent/dir/file", lines, error));
    QCOMPARE(lines, std::vector<std::string>{"a"});
    QVERIFY(error.find("/nonexistent/dir/file") != std::string::npos);
    TTempDir dir;
    writefile(dir.file("empty"), "");
    QVERIFY(readurlfile(dir.file("empty"), lines, error));
    QVERIFY(lines.empty());
  }
};

QTEST_MAIN(UrlListWindowTest)
#include "UrlListWindowTest.moc"
