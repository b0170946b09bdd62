#include "browser/DownloadTab.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>
#include <cmath>
#include <ctime>

#include "browser/WebEngineBrowser.h"
#include "results/Clock.h"

namespace {

std::string timeofday() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buf[64];
  const size_t n = std::strftime(buf, sizeof buf, "%X", &local);
  return std::string(buf, n);
}

QString ms(long double value) {
  return QString::number(static_cast<long long>(std::nearbyint(value)));
}

}  // namespace

TDownloadTab::TDownloadTab(std::unique_ptr<TBrowserControl> browser, QWidget* parent)
    : QWidget(parent), timestamp(timeofday), WebBrowser1(std::move(browser)) {
  if (!WebBrowser1) WebBrowser1 = std::make_unique<TWebEngineBrowser>(TBrowserMode::normal);
  auto* layout = new QVBoxLayout(this);
  auto* title = new QLabel(
      "Measure how long the web browser works to download the complete page including graphics!");
  title->setWordWrap(true);
  // A wrapped label would otherwise ask for the width of its whole text.
  title->setMinimumWidth(100);
  layout->addWidget(title);

  auto* row = new QHBoxLayout;
  Edit2 = new QLineEdit;
  Edit2->setObjectName("Edit2");
  auto* caption = new QLabel("URL to test:");
  caption->setBuddy(Edit2);
  row->addWidget(caption);
  row->addWidget(Edit2, 1);
  layout->addLayout(row);

  auto* buttons = new QHBoxLayout;
  Button6 = new QPushButton("Start Test");
  Button6->setObjectName("Button6");
  Button7 = new QPushButton("A&bort Test");
  Button7->setObjectName("Button7");
  buttons->addWidget(Button6);
  buttons->addWidget(Button7);
  buttons->addStretch(1);
  layout->addLayout(buttons);

  // Long status texts and times must not widen the window.
  auto line = [&](const char* name, const QString& text) {
    auto* l = new QLabel(text);
    l->setObjectName(name);
    l->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(l);
    return l;
  };
  Label12 = line("Label12", "Status: ");
  Label11 = line("Label11", "Time: ");
  WebBrowser1->widget()->setObjectName("WebBrowser1");
  layout->addWidget(WebBrowser1->widget(), 1);

  Memo3 = new QPlainTextEdit;
  Memo3->setObjectName("Memo3");
  Memo3->setReadOnly(true);
  Memo3->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo3->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo3->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo3->setFixedHeight(104);
  layout->addWidget(Memo3);

  connect(Button6, &QPushButton::clicked, this, &TDownloadTab::StartLoad);
  connect(Button7, &QPushButton::clicked, this, &TDownloadTab::Button7Click);
  // A new load ends what an abort silenced.
  WebBrowser1->OnDownloadBegin = [this] { aborted_ = false; };
  WebBrowser1->OnDocumentComplete = [this] { WebBrowser1DocumentComplete(); };
  WebBrowser1->OnStatusTextChange = [this](const QString& t) { WebBrowser1StatusTextChange(t); };
  WebBrowser1->OnProgressChange = [this](int p, int m) { WebBrowser1ProgressChange(p, m); };
  WebBrowser1->OnDownloadComplete = [this] { WebBrowser1DownloadComplete(); };
}

// The browser goes before the widgets it lives in.
TDownloadTab::~TDownloadTab() {
  WebBrowser1.reset();
}

long double TDownloadTab::elapsed() const {
  return static_cast<long double>(clockcounter() - clockbase_) / 1000000.0L;
}

void TDownloadTab::protocol(const QString& text) {
  // Appending leaves the text cursor at the end of the last line, and the view follows its
  // cursor: it would open scrolled to the right, the time stamps out of sight. The cursor goes
  // to the start of the last line, and the horizontal scroll stays as the user left it.
  QScrollBar* across = Memo3->horizontalScrollBar();
  const int left = across->value();
  Memo3->appendPlainText(QString::fromStdString(timestamp()) + ": " + text);
  QTextCursor cursor = Memo3->textCursor();
  cursor.movePosition(QTextCursor::End);
  cursor.movePosition(QTextCursor::StartOfBlock);
  Memo3->setTextCursor(cursor);
  across->setValue(left);
}

void TDownloadTab::StartLoad() {
  clockbase_ = clockcounter();
  Label11->setText("Time: 0ms");
  Label12->setText("Status:");
  reloadstart = 0;
  reloadstarted_ = false;
  aborted_ = false;
  loadstart = static_cast<int64_t>(std::nearbyint(elapsed()));
  Memo3->clear();
  protocol("Initializing web browser control.... DONE");
  protocol("STEP 1: Load the page the first time (from server or local cache)");
  reloadpending = true;
  const QString url = Edit2->text();
  try {
    WebBrowser1->Navigate(url);
  } catch (const EBrowserError& e) {
    Label11->setText("Unable to navigate to " + url + ". " + QString::fromStdString(e.what()) +
                     ".");
    QApplication::beep();
  }
}

void TDownloadTab::WebBrowser1DocumentComplete() {
  if (aborted_ || !reloadpending) return;
  reloadpending = false;
  protocol("STEP 2: Reload complete page without caches");
  reloadstart = static_cast<int64_t>(std::nearbyint(elapsed()));
  reloadstarted_ = true;
  WebBrowser1->Refresh2(3);
}

void TDownloadTab::WebBrowser1StatusTextChange(const QString& text) {
  if (aborted_) return;
  Label12->setText("Status: " + text);
  if (!WebBrowser1->Offline() && text != laststatustext &&
      text.left(4).compare("HTTP", Qt::CaseInsensitive) != 0 && !text.isEmpty()) {
    if (instep2())
      protocol("Loading from server: " + ms(elapsed() - reloadstart) + " msec: " + text);
    else
      protocol("Loading from local browser cache: " + ms(elapsed() - loadstart) + " msec: " + text);
  }
  laststatustext = text;
}

void TDownloadTab::WebBrowser1ProgressChange(int progress, int progressmax) {
  if (aborted_ || !instep2()) return;
  QString done;
  if (progressmax > 0) done = "(HTML is " + ms(100.0L * progress / progressmax) + "% done)";
  Label11->setText("Time: " + ms(elapsed() - reloadstart) + " msec " + done);
}

void TDownloadTab::WebBrowser1DownloadComplete() {
  if (aborted_) return;
  if (instep2()) {
    const QString t = ms(elapsed() - reloadstart);
    Label11->setText("Time: " + t + " msec ");
    protocol(t + " msec: Download From Remote Server Complete, step 2 done");
  } else {
    Label11->setText("Time: " + ms(elapsed() - loadstart) + " msec ");
  }
}

void TDownloadTab::Button7Click() {
  WebBrowser1->Stop();
  Label11->setText(QString());
  Label12->setText("Status: Canceled");
  aborted_ = true;
}
