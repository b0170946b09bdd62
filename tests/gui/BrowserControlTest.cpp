// The web engine behind the browser tabs, against pages of pressbolt-target on loopback: what
// the tabs are told while a page with redirects, frames and pictures loads (the status naming a
// part still loading), and what the sealed view of a first response refuses to do.

#include <sys/resource.h>
#include <QElapsedTimer>
#include <QImage>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <QtTest>

#include "browser/BrowseTab.h"
#include "browser/DownloadTab.h"
#include "browser/FirstResponseView.h"
#include "browser/WebEngineBrowser.h"
#include "support/TargetServer.h"
#include "support/TestSupport.h"

namespace {

bool waitfor(const std::function<bool()>& cond, int ms = 30000) {
  QElapsedTimer t;
  t.start();
  while (!cond() && t.elapsed() < ms)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  return cond();
}

// Lets events run for ms, for reports that may still come.
void settle(int ms) {
  waitfor([] { return false; }, ms);
}

QString url(const TTargetServer& target, const std::string& path) {
  return QString::fromStdString(target.url(path));
}

// A loopback listener that only counts who connects to it.
struct TCountingServer {
  QTcpServer server;
  int connections = 0;
  TCountingServer() {
    server.listen(QHostAddress::LocalHost);
    QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
      while (QTcpSocket* s = server.nextPendingConnection()) {
        ++connections;
        s->close();
        s->deleteLater();
      }
    });
  }
  QString url(const QString& path) const {
    return "http://127.0.0.1:" + QString::number(server.serverPort()) + path;
  }
};

// A loopback server that answers every request with one HTML page.
struct TPageServer {
  QTcpServer server;
  QByteArray page;
  explicit TPageServer(const QString& html) : page(html.toUtf8()) {
    server.listen(QHostAddress::LocalHost);
    QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
      while (QTcpSocket* s = server.nextPendingConnection()) {
        auto request = std::make_shared<QByteArray>();
        QObject::connect(s, &QTcpSocket::readyRead, s, [this, s, request] {
          *request += s->readAll();
          if (!request->contains("\r\n\r\n")) return;
          s->write("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                   QByteArray::number(page.size()) + "\r\n\r\n" + page);
          s->disconnectFromHost();
        });
        QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
      }
    });
  }
  QString url() const { return "http://127.0.0.1:" + QString::number(server.serverPort()) + "/"; }
};

}  // namespace

class BrowserControlTest : public QObject {
  Q_OBJECT
 private slots:
  // The crash test below kills a page process on purpose; it must leave no core file behind.
  // Set before the engine starts, so its processes inherit it.
  void initTestCase() {
    const rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
  }

  void traceRecordsEveryNavigationInArrivalOrder() {
    TTargetServer target;
    TBrowseTab tab;
    tab.resize(700, 500);
    tab.show();
    QStringList traced;
    tab.ontrace = [&](const QString& u) { traced << u; };
    int complete = 0;
    tab.browser().OnDocumentComplete = [&] { ++complete; };
    tab.trace->setChecked(true);

    // A redirect to a frameset: the redirect, its target and each frame in document order.
    tab.url1->setText(url(target, "/redirect?to=/frames"));
    QTest::mouseClick(tab.gotobutton, Qt::LeftButton);
    QVERIFY(waitfor([&] { return complete == 1; }));
    const QStringList visit{url(target, "/redirect?to=/frames"), url(target, "/frames"),
                            url(target, "/index.html"), url(target, "/pictures?n=2")};
    QCOMPARE(traced, visit);
    QCOMPARE(tab.url1->text(), visit.last());
    QCOMPARE(tab.Label15->text(), QString("Status: Done"));

    // Loading the page again records its URLs again.
    tab.url1->setText(url(target, "/frames"));
    QTest::mouseClick(tab.gotobutton, Qt::LeftButton);
    QVERIFY(waitfor([&] { return complete == 2; }));
    QCOMPARE(traced.mid(4), visit.mid(1));
  }

  void navigateRejectsWhatItCannotLoadAndBackNeedsHistory() {
    TTargetServer target;
    TWebEngineBrowser b(TBrowserMode::normal);
    for (const char* bad : {"", "   ", "gopher://127.0.0.1/", "javascript:alert(1)"}) {
      bool threw = false;
      try {
        b.Navigate(bad);
      } catch (const EBrowserError& e) {
        threw = std::string(e.what()).size() > 0;
      }
      QVERIFY2(threw, bad);
    }
    QVERIFY_THROWS_EXCEPTION(EBrowserError, b.GoBack());

    QStringList before;
    int complete = 0;
    b.OnBeforeNavigate2 = [&](const QString& u, bool&) { before << u; };
    b.OnDocumentComplete = [&] { ++complete; };
    // Without a scheme the address is taken as http.
    b.Navigate(QString::fromStdString(target.hostport() + "/size/10"));
    QVERIFY(waitfor([&] { return complete == 1; }));
    b.Navigate(url(target, "/size/20"));
    QVERIFY(waitfor([&] { return complete == 2; }));
    b.GoBack();
    QVERIFY(waitfor([&] { return complete == 3; }));
    QCOMPARE(before, (QStringList{url(target, "/size/10"), url(target, "/size/20"),
                                  url(target, "/size/10")}));
  }

  void bothStepsCompleteAndTheReloadWaitsForTheSlowPicture() {
    TTargetServer target;
    TDownloadTab tab;
    tab.resize(700, 500);
    tab.show();
    tab.Edit2->setText(url(target, "/pictures?n=2&slow=300"));
    QTest::mouseClick(tab.Button6, Qt::LeftButton);
    QVERIFY(waitfor([&] { return tab.Memo3->toPlainText().contains("step 2 done"); }));
    settle(300);
    // The protocol keeps its cursor at the start of a line: shown or focused, the view does not
    // scroll its time stamps out of sight.
    QCOMPARE(tab.Memo3->textCursor().positionInBlock(), 0);
    QCOMPARE(tab.Memo3->horizontalScrollBar()->value(), 0);
    const QStringList p = tab.Memo3->toPlainText().split('\n');
    auto index = [&](const QString& pattern) {
      return p.indexOf(QRegularExpression("^[^ ]+( [AP]M)?: " + pattern + "$"));
    };
    const QString page = QRegularExpression::escape(url(target, "/pictures?n=2&slow=300"));
    const int init = index("Initializing web browser control\\.\\.\\.\\. DONE");
    const int step1 =
        index("STEP 1: Load the page the first time \\(from server or local cache\\)");
    const int open1 = index("Loading from local browser cache: \\d+ msec: Opening page " + page);
    const int step2 = index("STEP 2: Reload complete page without caches");
    const int open2 = index("Loading from server: \\d+ msec: Opening page " + page);
    const int slow = index("Loading from server: \\d+ msec: Downloading picture .*/slowpicture.*");
    const int done = index("\\d+ msec: Download From Remote Server Complete, step 2 done");
    QVERIFY2(init == 0 && step1 == 1 && open1 > step1 && step2 > open1 && open2 > step2 &&
                 slow > open2 && done > slow,
             qPrintable(p.join('\n')));
    QCOMPARE(p.size(), done + 1);
    // The reload fetched the slow picture from the server again.
    const int ms = QRegularExpression("(\\d+) msec: Download").match(p[done]).captured(1).toInt();
    QVERIFY2(ms >= 300, qPrintable(p[done]));
    QCOMPARE(tab.Label11->text(), "Time: " + QString::number(ms) + " msec ");
  }

  void theStatusNamesAPictureStillLoadingNotOneArrived() {
    TTargetServer target;
    const QString slow = url(target, "/slowpicture?ms=20000");
    const QString quick = url(target, "/picture.png?1");
    // The slow picture begins first; the quick one begins after it and arrives long before it.
    TPageServer page("<html><body><img src=\"" + slow + "\" width=\"24\" height=\"24\">" +
                     "<img src=\"" + quick + "\" width=\"24\" height=\"24\"></body></html>");
    TWebEngineBrowser b(TBrowserMode::normal);
    QStringList statuses;
    int documents = 0;
    b.OnStatusTextChange = [&](const QString& t) { statuses << t; };
    b.OnDocumentComplete = [&] { ++documents; };
    b.Navigate(page.url());
    const QString slowstatus = "Downloading picture " + slow;
    const QString quickstatus = "Downloading picture " + quick;
    QVERIFY(waitfor([&] { return statuses.contains(quickstatus); }));
    QCOMPARE(statuses.filter("Downloading").value(0), slowstatus);
    // Once the quick one is in, the status names the slow one again while it still loads.
    QVERIFY2(waitfor([&] { return statuses.last() == slowstatus; }, 10000),
             qPrintable(statuses.join('\n')));
    QCOMPARE(documents, 0);
    b.Stop();
    QVERIFY(waitfor([&] { return statuses.last() == "Stopped"; }));
  }

  void abortDuringStep2StopsTheLoad() {
    TTargetServer target;
    TDownloadTab tab;
    tab.Edit2->setText(url(target, "/pictures?n=1&slow=20000"));
    tab.StartLoad();
    // Step 1 ends when the slow picture has come; then the reload waits for it again.
    QVERIFY(waitfor([&] { return tab.Memo3->toPlainText().contains("STEP 2"); }));
    QVERIFY(waitfor([&] { return tab.Memo3->toPlainText().contains("slowpicture"); }));
    QTest::mouseClick(tab.Button7, Qt::LeftButton);
    settle(500);
    QCOMPARE(tab.Label11->text(), QString());
    QCOMPARE(tab.Label12->text(), QString("Status: Canceled"));
    QVERIFY(!tab.Memo3->toPlainText().contains("step 2 done"));
  }

  void offlineAndStoppedLoadsNeverCompleteTheDocument() {
    TTargetServer target;
    TWebEngineBrowser b(TBrowserMode::normal);
    int downloads = 0, documents = 0;
    QString status;
    b.OnDownloadComplete = [&] { ++downloads; };
    b.OnDocumentComplete = [&] { ++documents; };
    b.OnStatusTextChange = [&](const QString& t) { status = t; };

    b.Navigate(url(target, "/slowpicture?ms=20000"));
    QVERIFY(waitfor([&] { return status.startsWith("Opening page"); }));
    b.Stop();
    QVERIFY(waitfor([&] { return downloads == 1; }));
    QCOMPARE(status, QString("Stopped"));

    b.setOffline(true);
    QVERIFY(b.Offline());
    b.Navigate(url(target, "/size/10"));
    QVERIFY(waitfor([&] { return downloads == 2; }));
    QVERIFY(status.startsWith("Error: "));
    QCOMPARE(documents, 0);
    QCOMPARE(b.blockedrequests(), QList<QUrl>{QUrl(url(target, "/size/10"))});
  }

  void aCrashedPageEndsItsLoadAndTheBrowserGoesOn() {
    TTargetServer target;
    TWebEngineBrowser b(TBrowserMode::normal);
    int downloads = 0, documents = 0;
    QString status;
    b.OnDownloadComplete = [&] { ++downloads; };
    b.OnDocumentComplete = [&] { ++documents; };
    b.OnStatusTextChange = [&](const QString& t) { status = t; };
    // The engine's own address that makes its page process crash.
    b.view()->load(QUrl("chrome://crash"));
    QVERIFY(waitfor([&] { return status == "The page stopped working"; }));
    QVERIFY(downloads >= 1);
    b.Navigate(url(target, "/size/10"));
    QVERIFY(waitfor([&] { return documents == 1; }));
    QCOMPARE(status, QString("Done"));
  }

  void firstResponseViewShowsTheFileAndNothingElse() {
    TTempDir tmp;
    // A folder with a blank, as a program directory may have.
    const std::string dir = tmp.path() + "/first response/";
    QVERIFY(QDir().mkpath(QString::fromStdString(dir)));
    TCountingServer net;
    writefile(dir + "secret.html",
              "<html><head><title>secret</title></head><body style=\"background:#f00\">"
              "<img src=\"" +
                  net.url("/from-secret").toStdString() + "\"></body></html>");
    const std::string fetchsecret = "file://" + dir + "secret.html";
    writefile(dir + "temp.htm",
              "<html><head><title>first response</title>\n"
              "<meta http-equiv=\"refresh\" content=\"0;url=" +
                  net.url("/refresh").toStdString() + "\">\n<link rel=\"stylesheet\" href=\"" +
                  net.url("/style.css").toStdString() +
                  "\">\n<script>document.title = 'script ran';"
                  "document.documentElement.style.background = '#f00';"
                  "fetch('" +
                  fetchsecret +
                  "').then(r => r.text()).then(t => {"
                  "document.title = t; fetch('" +
                  net.url("/leak").toStdString() +
                  "?' + t); });"
                  "fetch('" +
                  net.url("/fetch").toStdString() +
                  "');</script></head>\n"
                  "<body style=\"background:#fff\"><img src=\"" +
                  net.url("/picture.png").toStdString() +
                  "\">\n<iframe src=\"secret.html\" width=\"300\" height=\"200\"></iframe>\n"
                  "<iframe src=\"" +
                  net.url("/frame").toStdString() +
                  "\"></iframe>\n"
                  "<p>first response</p></body></html>\n");

    TFirstResponseView view;
    view.resize(600, 400);
    view.show();
    auto& engine = static_cast<TWebEngineBrowser&>(view.browser());
    int complete = 0;
    engine.OnDocumentComplete = [&] { ++complete; };
    bool allow = false;
    view.allownavigation = [&] { return allow; };
    view.setfolder(QString::fromStdString(dir));

    // Refused while the window says no (option off, no test running).
    view.showfile();
    settle(1000);
    QCOMPARE(complete, 0);
    QVERIFY(engine.view()->url().isEmpty() || engine.view()->url().toString() == "about:blank");

    allow = true;
    view.showfile();
    QVERIFY(waitfor([&] { return complete == 1; }));
    settle(1500);  // room for the refresh, the fetches and the frames
    QCOMPARE(engine.view()->url(), QUrl::fromLocalFile(QString::fromStdString(dir + "temp.htm")));
    QCOMPARE(engine.view()->title(), QString("first response"));
    QCOMPARE(net.connections, 0);
    // Neither the script nor the local file painted the page red.
    const QImage shot = engine.view()->grab().toImage();
    int red = 0;
    for (int y = 0; y < shot.height(); y += 4)
      for (int x = 0; x < shot.width(); x += 4)
        if (shot.pixelColor(x, y) == QColor(255, 0, 0)) ++red;
    QCOMPARE(red, 0);

    // Behind the page settings the request filter holds on its own: with scripts and remote
    // access allowed, still nothing reaches the network.
    QWebEngineSettings* settings = engine.view()->page()->settings();
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
    engine.Refresh2(3);
    QVERIFY(waitfor([&] { return complete == 2; }));
    settle(1500);
    QCOMPARE(net.connections, 0);
    QVERIFY(!engine.view()->title().contains("secret"));
    QVERIFY(engine.blockedrequests().contains(QUrl(net.url("/picture.png"))));
    QVERIFY(engine.blockedrequests().contains(QUrl(net.url("/fetch"))));
  }
};

QTEST_MAIN(BrowserControlTest)
#include "BrowserControlTest.moc"
