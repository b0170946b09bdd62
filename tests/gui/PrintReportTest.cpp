// The printed report of a real test against pressbolt-target, printed to PDF and read back with
// the poppler tools: pages, footers, each line in the text of one page only, the title band, the
// charts as black-and-white vector drawings, and the charts on screen unchanged afterwards.

#include <unistd.h>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPrintDialog>
#include <QProcess>
#include <QtTest>

#include "FormControls.h"
#include "GuiSupport.h"
#include "gui/ChartPainter.h"
#include "gui/HttpAsy1.h"
#include "gui/LogViews.h"
#include "gui/PrintReport.h"
#include "gui/ResultCharts.h"
#include "gui/UvQtBridge.h"
#include "gui/WindowHost.h"
#include "gui/urllistwindow.h"
#include "results/TestReport.h"
#include "support/TargetServer.h"
#include "support/TestSupport.h"

namespace {

bool waitfor(const std::function<bool()>& cond, int ms = 60000) {
  QElapsedTimer t;
  t.start();
  while (!cond() && t.elapsed() < ms)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  return cond();
}

QString run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(60000) || p.exitCode() != 0) {
    qWarning("%s failed: %s", qPrintable(program), p.readAllStandardError().constData());
    return {};
  }
  return QString::fromUtf8(p.readAllStandardOutput());
}

// The text of one page of a PDF (pages count from 1).
QString pagetext(const QString& pdf, int page) {
  const QString n = QString::number(page);
  return run("pdftotext", {"-layout", "-f", n, "-l", n, pdf, "-"});
}

int pagecount(const QString& pdf) {
  const QString info = run("pdfinfo", {pdf});
  const auto m = QRegularExpression("Pages:\\s+(\\d+)").match(info);
  return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// Pixels of a colour other than grey, white or black.
int colouredpixels(const QImage& img, const QRect& area) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) {
      const QColor c = img.pixelColor(x, y);
      if (std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()}) > 60)
        ++n;
    }
  return n;
}

struct TReportRig {
  TTargetServer target;
  TTempDir dir;
  TUvQtBridge bridge{TEventLoop::Default()};
  Turllistwin urls;
  THttpAsyForm form{urls, {"pressbolt-printreport"}};
  TWindowHost host{form};
  QString pdf = QString::fromStdString(dir.file("report.pdf"));

  TReportRig() {
    host.engine().setoutputdir(dir.path());
    host.dialoghook = [](const std::string&) {};
    form.show();
    // The charts get their size on the load-test tab.
    ui(form).PageControl2->setCurrentWidget(ui(form).TabSheet6);
  }
  // A real test: users and runs against a page and a missing page.
  bool runtest(bool ramp) {
    ui(form).multiurl->click();
    urls.setlines({QString::fromStdString(target.url("/size/100")),
                   QString::fromStdString(target.url("/missing"))});
    ui(form).SpinEdit1->setValue(6);
    ui(form).SpinEdit2->setValue(3);
    ui(form).Ramp->setChecked(ramp);
    bool ended = false;
    host.onended = [&](bool) { ended = true; };
    ui(form).ExecButton->click();
    if (!waitfor([&] { return ended; })) return false;
    host.sync();
    form.synclogviews();
    return true;
  }
  void printpdf(QPrinter& printer) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
  }
  int print() {
    QPrinter printer(QPrinter::HighResolution);
    printpdf(printer);
    preparereportprinter(printer);
    return printreport(makereport(form.testreport(), form), printer);
  }
};

}  // namespace

class PrintReportTest : public QObject {
  Q_OBJECT
 private slots:
  void longResultsRunOverPagesEachWithItsFooter() {
    TReportRig rig;
    QVERIFY(rig.runtest(false));
    for (int i = 1; i <= 150; ++i)
      rig.form.logmodel().logdata("extra results line " + std::to_string(i));
    rig.form.logmodel().logdatabold("last line of the results");
    rig.form.synclogviews();
    const QString subtitle = rig.form.charts()->chart1Title();
    QVERIFY(!subtitle.isEmpty());

    const int pages = rig.print();
    QVERIFY2(pages >= 3, qPrintable(QString::number(pages)));
    QCOMPARE(pagecount(rig.pdf), pages);
    const QString info = run("pdfinfo", {rig.pdf});
    const auto size = QRegularExpression("Page size:\\s+([\\d.]+) x ([\\d.]+)").match(info);
    QVERIFY(size.captured(1).toDouble() < size.captured(2).toDouble());  // portrait

    for (int page = 1; page <= pages; ++page) {
      const QString text = pagetext(rig.pdf, page);
      QVERIFY2(text.contains(QRegularExpression("Page " + QString::number(page) + "\\b")),
               qPrintable(text));
      QVERIFY(text.contains(subtitle));  // the footer's centre
      QCOMPARE(text.contains("Pressbolt - Test Results"), page == 1);
      QCOMPARE(text.contains("Start Time Of Request [ms]"), page == 1);
      QVERIFY(!text.contains("Number Of Simultaneous Users"));
    }
    // The title band: title, subtitle, then the chart; the results text follows below it.
    const QString first = pagetext(rig.pdf, 1);
    const QStringList lines = first.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.value(0).trimmed(), QString("Pressbolt - Test Results"));
    QCOMPARE(lines.value(1).trimmed(), subtitle);
    QVERIFY(first.indexOf("Start Time Of Request [ms]") < first.indexOf("Pressbolt V"));
    // Ahead of the results text, the percentiles of the server's own time of the 18 requests.
    QVERIFY2(first.contains("Server time (ms, from the kernel's receive stamps) of 18 requests:"),
             qPrintable(first));
    QVERIFY(first.indexOf("to the first byte") < first.indexOf("Pressbolt V"));
    // Then the connection phases of each run: plain HTTP has a connect time and no handshake.
    QVERIFY2(first.contains("Connection phases (ms): from the connect call to the connection:"),
             qPrintable(first));
    for (const char* row : {"Run 1, connect", "Run 2, connect", "Run 3, connect", "All, connect"})
      QVERIFY2(first.contains(row), row);
    QVERIFY(!first.contains("TLS handshake"));
    QVERIFY(first.indexOf("to the first byte") < first.indexOf("Connection phases"));
    QVERIFY(first.indexOf("All, connect") < first.indexOf("Pressbolt V"));
    QVERIFY(pagetext(rig.pdf, pages).contains("last line of the results"));
    // Each line is in the text of one page only, also a line at a page break: found once by
    // search and copy.
    QString all;
    for (int page = 1; page <= pages; ++page) all += pagetext(rig.pdf, page);
    for (int i = 1; i <= 150; ++i) {
      const QString line = "extra results line " + QString::number(i);
      QVERIFY2(all.count(QRegularExpression(line + "\\b")) == 1, qPrintable(line));
    }
    // Charts are vector drawings, not pictures; the bold lines keep their bold font.
    QCOMPARE(run("pdfimages", {"-list", rig.pdf}).split('\n', Qt::SkipEmptyParts).size(), 2);
    QVERIFY(run("pdffonts", {rig.pdf}).contains("Bold"));

    // A page range from the print dialog prints those pages only.
    QPrinter printer(QPrinter::HighResolution);
    rig.printpdf(printer);
    preparereportprinter(printer);
    printer.setPrintRange(QPrinter::PageRange);
    printer.setFromTo(2, 2);
    QCOMPARE(printreport(makereport(rig.form.testreport(), rig.form), printer), pages);
    QCOMPARE(pagecount(rig.pdf), 1);
    QVERIFY(pagetext(rig.pdf, 1).contains(QRegularExpression("Page 2\\b")));
  }

  // An https test's report shows the handshake of each run beside its connect time.
  void httpsPhasesArePrintedPerRun() {
    TTestReport test;
    test.charts.settitles("Load test: https://127.0.0.1:8443/", "");
    test.results = {{"Results of run 1", TLineStyle::highlight}};
    TPercentiles connect{200, 0.1, 0.2, 0.3, 0.4, 0.5}, tls{200, 2, 3.25, 4, 5, 6};
    test.phases = {{"Run 1", connect, tls}, {"Run 2 (aborted)", connect, {}}};
    QWidget style;
    const TReport r = makereport(test, style);
    const QString text = r.text->toPlainText();
    QVERIFY2(text.startsWith("Connection phases (ms): from the connect call to the connection, "
                             "and from then to the end of the TLS handshake:"),
             qPrintable(text));
    for (const char* cell : {"Run 1, connect", "Run 1, TLS handshake", "3.25",
                             "Run 2 (aborted), connect", "Run 2 (aborted), TLS handshake"})
      QVERIFY2(text.contains(cell), cell);
    QVERIFY(text.indexOf("Run 1, TLS handshake") < text.indexOf("Results of run 1"));
    // A result without phase times prints no such table.
    test.phases.clear();
    QVERIFY(!makereport(test, style).text->toPlainText().contains("Connection phases"));
  }

  void aLineWrappedOverAPageBreakIsSplitBetweenThePages() {
    TTempDir dir;
    const QString pdf = QString::fromStdString(dir.file("wrapped.pdf"));
    TReport report;
    report.subtitle = "wrapped lines";
    QStringList paragraphs;
    for (int n = 1; n <= 60; ++n) {
      QStringList words;
      for (int k = 1; k <= 60; ++k) words << "p" + QString::number(n) + "w" + QString::number(k);
      paragraphs << words.join(' ');
    }
    report.text = std::make_unique<QTextDocument>();
    report.text->setPlainText(paragraphs.join('\n'));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    preparereportprinter(printer);
    const int pages = printreport(report, printer);
    QVERIFY(pages >= 2);
    QStringList text;
    for (int page = 1; page <= pages; ++page) text << pagetext(pdf, page);
    auto pageof = [&](const QString& word) {
      const QRegularExpression re("\\b" + word + "\\b");
      int found = 0, on = 0;
      for (int page = 0; page < pages; ++page)
        if (const int c = int(text[page].count(re)); c > 0) found += c, on = page + 1;
      return found == 1 ? on : -found;
    };
    // Every word is on one page once, and some paragraphs begin on one page and end on the next.
    int split = 0;
    for (int n = 1; n <= 60; ++n) {
      const QString p = "p" + QString::number(n) + "w";
      for (int k = 1; k <= 60; ++k)
        QVERIFY2(pageof(p + QString::number(k)) > 0, qPrintable(p + QString::number(k)));
      if (pageof(p + "1") != pageof(p + "60")) ++split;
    }
    QVERIFY(split >= 1);
  }

  // A heading never ends a page: it goes to the next page with the lines it heads.
  void aHeadingIsNeverLeftAloneAtTheFootOfAPage() {
    TTempDir dir;
    const QString pdf = QString::fromStdString(dir.file("heading.pdf"));
    QWidget style;
    auto print = [&](int before) {
      std::vector<TResultLine> lines;
      for (int i = 1; i <= before; ++i)
        lines.push_back({"plain line " + std::to_string(i), TLineStyle::plain});
      lines.push_back({"", TLineStyle::plain});
      lines.push_back({"Results of run 4", TLineStyle::highlight});
      for (int i = 1; i <= 40; ++i)
        lines.push_back({"run line " + std::to_string(i), TLineStyle::plain});
      TReport report;
      report.subtitle = "headings";
      report.text = std::make_unique<QTextDocument>();
      report.text->setDefaultFont(style.font());
      appendresultlines(*report.text, lines, 0, style.palette());
      QPrinter printer(QPrinter::HighResolution);
      printer.setOutputFormat(QPrinter::PdfFormat);
      printer.setOutputFileName(pdf);
      preparereportprinter(printer);
      return printreport(report, printer);
    };
    // How many plain lines page 1 holds: the heading then stands last on it.
    QVERIFY(print(200) >= 2);
    const QStringList first = pagetext(pdf, 1).split('\n', Qt::SkipEmptyParts);
    int fit = 0;
    for (const QString& l : first) {
      const auto m = QRegularExpression("plain line (\\d+)").match(l);
      if (m.hasMatch()) fit = std::max(fit, m.captured(1).toInt());
    }
    QVERIFY(fit > 10);
    // The blank line and the heading would be the page's last two lines.
    QVERIFY(print(fit - 2) >= 2);
    const QString one = pagetext(pdf, 1), two = pagetext(pdf, 2);
    QVERIFY2(!one.contains("Results of run 4"), qPrintable(one));
    QVERIFY(one.contains("plain line " + QString::number(fit - 2)));
    QVERIFY(two.contains("Results of run 4"));
    QVERIFY(two.indexOf("Results of run 4") < two.indexOf("run line 1"));
    // With lines of its own below it, a heading stays where it is.
    QVERIFY(print(fit - 4) >= 2);
    QVERIFY(pagetext(pdf, 1).contains("Results of run 4"));
  }

  // A report is made from a test's results alone: no window has run it, and the results it was
  // made from may be gone before it prints.
  void aReportNeedsNoTestRunInTheWindow() {
    TTempDir dir;
    const QString pdf = QString::fromStdString(dir.file("stored.pdf"));
    QWidget style;
    TReport report;
    {
      TChartModel charts;
      charts.settitles("stored test at 127.0.0.1", "ramp of the stored test");
      for (int i = 0; i < 50; ++i) charts.addrequest(i * 10, 5 + i % 7, i % 10 == 0 ? 404 : 200);
      charts.addramp(1, 12, "ok");
      charts.addramp(5, 30, "10% Errors");
      charts.addrampwait(1, 14);
      charts.addrampwait(5, 35);
      TLogModel log;
      log.logdatabold("stored results heading");
      log.logdata("stored results line");
      const TTestReport test = testreport(charts, log);
      QVERIFY(test.ramp);
      report = makereport(test, style);
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    preparereportprinter(printer);
    QCOMPARE(printreport(report, printer), 1);
    const QString text = pagetext(pdf, 1);
    QVERIFY2(text.contains("stored test at 127.0.0.1"), qPrintable(text));
    QVERIFY(text.contains("Start Time Of Request [ms]"));
    QVERIFY(text.contains("Number Of Simultaneous Users"));
    QVERIFY(text.contains("10% Errors"));
    QVERIFY(text.indexOf("stored results heading") < text.indexOf("stored results line"));
    QVERIFY(run("pdffonts", {pdf}).contains("Bold"));
  }

  void rampReportHasBothChartsInBlackAndWhite() {
    TReportRig rig;
    QVERIFY(rig.runtest(true));
    const QImage before1 = rig.form.charts()->chart1()->image();
    const QImage before2 = rig.form.charts()->chart2()->image();
    QVERIFY(colouredpixels(before1, before1.rect()) > 0);

    QVERIFY(rig.print() >= 1);
    const QString first = pagetext(rig.pdf, 1);
    QVERIFY(first.contains("Start Time Of Request [ms]"));
    QVERIFY(first.contains("Number Of Simultaneous Users"));
    QVERIFY(first.indexOf("Number Of Simultaneous Users") < first.indexOf("Pressbolt V"));

    // At 96 dpi the page shows the design pixels; the charts stand below the 12.7 mm margin.
    run("pdftoppm", {"-r", "96", "-f", "1", "-l", "1", "-png", rig.pdf,
                     QString::fromStdString(rig.dir.file("page"))});
    QImage page(QString::fromStdString(rig.dir.file("page-1.png")));
    QVERIFY(!page.isNull());
    const QRect charts(48, 48 + 80, 697, 304 + 217 - 80);
    QCOMPARE(colouredpixels(page, charts), 0);
    // Something was drawn there: the points and curves in black.
    int dark = 0;
    for (int y = charts.top(); y <= charts.bottom(); ++y)
      for (int x = charts.left(); x <= charts.right(); ++x)
        if (qGray(page.pixel(x, y)) < 64) ++dark;
    QVERIFY(dark > 1000);

    // The charts on screen are as they were.
    QVERIFY(!TMonochromeCharts::active());
    QCOMPARE(rig.form.charts()->chart1()->image(), before1);
    QCOMPARE(rig.form.charts()->chart2()->image(), before2);
  }

  // The report describes the test whose results it prints, whatever the Ramp-Test box says now.
  void theRampChartFollowsTheTestThatRan() {
    TReportRig rig;
    QVERIFY(rig.runtest(true));
    ui(rig.form).Ramp->setChecked(false);
    QVERIFY(rig.print() >= 1);
    QVERIFY(pagetext(rig.pdf, 1).contains("Number Of Simultaneous Users"));
    QVERIFY(rig.runtest(false));
    ui(rig.form).Ramp->setChecked(true);
    QVERIFY(rig.print() >= 1);
    QVERIFY(!pagetext(rig.pdf, 1).contains("Number Of Simultaneous Users"));
  }

  void nothingToReportBeforeATestAndACancelPrintsNothing() {
    TReportRig rig;
    TBoxAnswerer answer;
    QPrinter printer(QPrinter::HighResolution);
    rig.printpdf(printer);
    Printreportclick(
        rig.form, [&] { return rig.form.testreport(); }, printer);
    QCOMPARE(answer.seen, 1);
    QVERIFY(answer.text.contains("no test to report"));
    QVERIFY(!QFile::exists(rig.pdf));

    QVERIFY(rig.runtest(false));
    // Close the print dialog the way the user does: cancel, then print.
    bool accept = false;
    int dialogs = 0;
    QTimer answerdialog;
    QObject::connect(&answerdialog, &QTimer::timeout, [&] {
      if (auto* d = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget())) {
        ++dialogs;
        accept ? d->accept() : d->reject();
      }
    });
    answerdialog.start(20);
    Printreportclick(
        rig.form, [&] { return rig.form.testreport(); }, printer);
    QCOMPARE(dialogs, 1);
    QVERIFY(!QFile::exists(rig.pdf));
    accept = true;
    Printreportclick(
        rig.form, [&] { return rig.form.testreport(); }, printer);
    QCOMPARE(dialogs, 2);
    QVERIFY(QFile::exists(rig.pdf));
    QCOMPARE(printer.docName(), QString("Pressbolt Report"));
    QVERIFY(pagetext(rig.pdf, 1).contains("Pressbolt - Test Results"));
  }
};

QTEST_MAIN(PrintReportTest)
#include "PrintReportTest.moc"
