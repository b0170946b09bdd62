// The parts of a page still loading, which the browser's status line names: the part begun last
// of those not yet arrived, whatever order they arrive in.

#include <QtTest>

#include "browser/LoadingParts.h"

class BrowserLoadingPartsTest : public QObject {
  Q_OBJECT
 private slots:
  void theLastBegunOfThoseStillLoadingIsNamed() {
    const QUrl slow("http://127.0.0.1:8080/slowpicture?ms=2000");
    const QUrl pic1("http://127.0.0.1:8080/pic1.png");
    const QUrl frame("http://127.0.0.1:8080/frame.html");
    TLoadingParts parts;
    QVERIFY(parts.empty());
    QCOMPARE(parts.statustext(), QString());
    parts.begin(slow, true);
    parts.begin(frame, false);
    parts.begin(pic1, true);
    QCOMPARE(parts.statustext(), "Downloading picture " + pic1.toString());
    // The picture from the cache arrives at once: the frame, begun before it, is still loading.
    parts.arrived({pic1.toString()});
    QVERIFY(!parts.loading(pic1));
    QCOMPARE(parts.lastloading(), frame);
    QCOMPARE(parts.statustext(), "Downloading " + frame.toString());
    // Names the page has not asked for, and a fragment, change nothing else.
    parts.arrived({"http://127.0.0.1:8080/other.png", frame.toString() + "#top"});
    QCOMPARE(parts.statustext(), "Downloading picture " + slow.toString());
    parts.arrived({slow.toString()});
    QVERIFY(parts.empty());
    QCOMPARE(parts.statustext(), QString());
  }

  void aPartBegunTwiceArrivesOnceAndClearForgetsAll() {
    const QUrl a("http://127.0.0.1:8080/a.png"), b("http://127.0.0.1:8080/b.png");
    TLoadingParts parts;
    parts.begin(a, true);
    parts.begin(b, true);
    parts.begin(a, true);
    parts.arrived({a.toString()});
    QCOMPARE(parts.lastloading(), b);
    parts.clear();
    QVERIFY(parts.empty());
    QVERIFY(!parts.loading(b));
  }
};

QTEST_MAIN(BrowserLoadingPartsTest)
#include "BrowserLoadingPartsTest.moc"
