#include "browser/BrowseTab.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QVBoxLayout>

#include "browser/WebEngineBrowser.h"

TBrowseTab::TBrowseTab(std::unique_ptr<TBrowserControl> browser, QWidget* parent)
    : QWidget(parent), WebBrowser2(std::move(browser)) {
  if (!WebBrowser2) WebBrowser2 = std::make_unique<TWebEngineBrowser>(TBrowserMode::normal);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Use this Web Browser to select the URL that you want to test!"));

  auto* row = new QHBoxLayout;
  url1 = new QLineEdit;
  url1->setObjectName("url1");
  url1->setToolTip("Ent a URL to browse to");
  auto* caption = new QLabel("URL to test:");
  caption->setBuddy(url1);
  row->addWidget(caption);
  row->addWidget(url1, 1);
  layout->addLayout(row);

  auto* buttons = new QHBoxLayout;
  auto button = [&](const char* name, const QString& text, const QString& hint) {
    auto* b = new QPushButton(text);
    b->setObjectName(name);
    b->setToolTip(hint);
    buttons->addWidget(b);
    return b;
  };
  gotobutton = button("gotobutton", "Go to URL", "Go to the entered URL");
  stopbutton = button("stopbutton", "Stop", "Stop Browser");
  Backbutton = button("Backbutton", "Back", "Back one URL");
  trace = new QCheckBox("Trace URLs");
  trace->setObjectName("trace");
  trace->setToolTip("Use this option to copy all URLs to the multiple URLs list");
  buttons->addWidget(trace);
  buttons->addStretch(1);
  layout->addLayout(buttons);

  Label15 = new QLabel("Status: ");
  Label15->setObjectName("Label15");
  // A long URL in the status must not widen the window.
  Label15->setMinimumWidth(1);
  Label15->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  layout->addWidget(Label15);
  WebBrowser2->widget()->setObjectName("WebBrowser2");
  layout->addWidget(WebBrowser2->widget(), 1);

  connect(gotobutton, &QPushButton::clicked, this, &TBrowseTab::gotobuttonClick);
  connect(stopbutton, &QPushButton::clicked, this, &TBrowseTab::stopbuttonClick);
  connect(Backbutton, &QPushButton::clicked, this, &TBrowseTab::BackbuttonClick);
  // Enter in the URL field goes there too.
  connect(url1, &QLineEdit::returnPressed, this, &TBrowseTab::gotobuttonClick);
  WebBrowser2->OnBeforeNavigate2 = [this](const QString& url, bool&) {
    WebBrowser2BeforeNavigate2(url);
  };
  WebBrowser2->OnStatusTextChange = [this](const QString& text) {
    WebBrowser2StatusTextChange(text);
  };
}

// The browser goes before the widgets it lives in.
TBrowseTab::~TBrowseTab() {
  WebBrowser2.reset();
}

void TBrowseTab::gotobuttonClick() {
  const QString url = url1->text();
  try {
    WebBrowser2->Navigate(url);
  } catch (const EBrowserError& e) {
    Label15->setText("Unable to navigate to " + url + ". " + QString::fromStdString(e.what()) +
                     ".");
    QApplication::beep();
  }
}

void TBrowseTab::stopbuttonClick() {
  try {
    WebBrowser2->Stop();
  } catch (const EBrowserError& e) {
    showerror(e);
  }
}

void TBrowseTab::BackbuttonClick() {
  try {
    WebBrowser2->GoBack();
  } catch (const EBrowserError& e) {
    showerror(e);
  }
}

void TBrowseTab::showerror(const EBrowserError& e) {
  QMessageBox::critical(this, QApplication::applicationName(), QString::fromStdString(e.what()));
}

// Never cancelled: tracing only watches where the browser goes.
void TBrowseTab::WebBrowser2BeforeNavigate2(const QString& url) {
  url1->setText(url);
  if (trace->isChecked() && ontrace) ontrace(url);
}

void TBrowseTab::WebBrowser2StatusTextChange(const QString& text) {
  Label15->setText("Status: " + text);
}
