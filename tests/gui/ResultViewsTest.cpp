// The result views: the agent list and the log views mirroring the model in batches.

#include <QComboBox>
#include <QTextBlock>
#include <QtTest>
#include <algorithm>
#include <set>

#include "GuiSupport.h"
#include "gui/AgentList.h"
#include "gui/HttpAsy1.h"
#include "gui/urllistwindow.h"
#include "support/TestSupport.h"

class ResultViewsTest : public QObject {
  Q_OBJECT
 private slots:
  void testAgentList() {
    const std::vector<std::pair<std::string, size_t>> expected = {
        {"* IE 1.5 *", 2},
        {"* IE 2.0 *", 17},
        {"* IE 3.0 *", 37},
        {"* IE 4.0 *", 12},
        {"* IE 5.0 *", 4},
        {"* Microsoft Pocket Internet Explorer/0.6 *", 1},
        {"* Netscape 4.00 *", 5},
        {"* Netscape 3.01 *", 25},
        {"* Netscape 3.0 \xC3\x9C", 98},
        {"* Netscape 2.0 *", 49},
        {"* Oracle 1.5 *", 1}};
    const auto& groups = agentgroups();
    QCOMPARE(groups.size(), expected.size());
    for (size_t i = 0; i < groups.size(); ++i) {
      QCOMPARE(groups[i].heading, expected[i].first);
      QCOMPARE(groups[i].agents.size(), expected[i].second);
      const std::set<std::string> distinct(groups[i].agents.begin(), groups[i].agents.end());
      QCOMPARE(distinct.size(), groups[i].agents.size());
      for (const auto& a : groups[i].agents) QVERIFY(!a.empty() && a[0] != '*');
    }
    const auto lines = agentlines();
    QCOMPARE(lines.size(), size_t(272));
    QCOMPARE(lines[0], std::string("* IE 1.5 *"));
    QCOMPARE(lines[3], std::string());
    QCOMPARE(lines[4], std::string("* IE 2.0 *"));
    QCOMPARE(lines.back(),
             std::string("Mozilla/2.01 (Compatible) Oracle(tm) PowerBrowser(tm)/1.0a"));
    QVERIFY(std::find(lines.begin(), lines.end(),
                      "Mozilla/4.0 (compatible; MSIE 4.0; Windows NT)") != lines.end());
    QVERIFY(std::find(lines.begin(), lines.end(), "Mozilla/4.0b2 (WinNT; I)") != lines.end());

    // The combo box offers exactly these lines and starts empty.
    Turllistwin list;
    THttpAsyForm form(list, {QDir::temp().filePath("pressbolt-views")});
    auto* agent = control<QComboBox>(&form, "agent");
    QCOMPARE(agent->count(), 272);
    for (int i = 0; i < agent->count(); ++i)
      QCOMPARE(agent->itemText(i).toStdString(), lines[size_t(i)]);
    QVERIFY(agent->currentText().isEmpty());
  }

  void testLogViewsMirrorInBatches() {
    TLogModel model;
    QPlainTextEdit log;
    QTextEdit results;
    TLogMirror mirror(model, &log, &results, 10);
    int changes = 0;
    connect(log.document(), &QTextDocument::contentsChange, [&] { ++changes; });
    for (int i = 0; i < 20000; ++i) model.log("request " + std::to_string(i));
    model.logdatared("Results of run 1");
    model.logdatabold("Average");
    model.logdata("plain");
    QTRY_COMPARE(log.blockCount(), 20000);
    // One widget update per batch of lines, not one per line, and the window's event loop runs
    // between the batches.
    QCOMPARE(changes, int((20000 + TLogMirror::kBatchLines - 1) / TLogMirror::kBatchLines));
    QVERIFY(log.document()->lastBlock().text().endsWith(": request 19999"));
    QVERIFY(log.document()->firstBlock().text().endsWith(": request 0"));

    QTRY_COMPARE(results.document()->blockCount(), 4);
    const QTextDocument* d = results.document();
    QCOMPARE(d->findBlockByNumber(0).text(), QString("Results of run 1"));
    const QTextCharFormat red = d->findBlockByNumber(0).begin().fragment().charFormat();
    QCOMPARE(red.fontWeight(), int(QFont::Bold));
    QCOMPARE(red.foreground().color(), results.palette().color(QPalette::Highlight));
    const QTextCharFormat bold = d->findBlockByNumber(1).begin().fragment().charFormat();
    QCOMPARE(bold.fontWeight(), int(QFont::Bold));
    QVERIFY(bold.foreground().color() != results.palette().color(QPalette::Highlight));
    const QTextCharFormat plain = d->findBlockByNumber(2).begin().fragment().charFormat();
    QVERIFY(plain.fontWeight() != int(QFont::Bold));
    QCOMPARE(d->findBlockByNumber(3).text(), QString(" "));

    // A cleared model (a new test) starts the views afresh.
    model.clear();
    model.log("second test");
    model.logdatanocr("only line");
    QTRY_COMPARE(log.blockCount(), 1);
    QVERIFY(log.toPlainText().endsWith(": second test"));
    QTRY_COMPARE(results.toPlainText(), QString("only line"));
  }

  void testLogViewsWaitWhileHeld() {
    TLogModel model;
    QPlainTextEdit log;
    QTextEdit results;
    TLogMirror mirror(model, &log, &results, 5);
    bool held = true;
    mirror.setholdwhile([&] { return held; });
    model.log("during the run");
    model.logdatanocr("result");
    QTest::qWait(50);
    QCOMPARE(log.toPlainText(), QString());
    QCOMPARE(results.toPlainText(), QString());
    // Asked for, the views show everything at once, held or not.
    mirror.sync();
    QVERIFY(log.toPlainText().endsWith(": during the run"));
    QCOMPARE(results.toPlainText(), QString("result"));
    model.log("after the run");
    held = false;
    QTRY_VERIFY(log.toPlainText().endsWith(": after the run"));
  }
};

QTEST_MAIN(ResultViewsTest)
#include "ResultViewsTest.moc"
