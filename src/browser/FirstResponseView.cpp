#include "browser/FirstResponseView.h"

#include <QVBoxLayout>

#include "browser/WebEngineBrowser.h"
#include "results/LogFile.h"

TFirstResponseView::TFirstResponseView(std::unique_ptr<TBrowserControl> browser, QWidget* parent)
    : QWidget(parent), WebBrowser_V11(std::move(browser)) {
  if (!WebBrowser_V11) WebBrowser_V11 = std::make_unique<TWebEngineBrowser>(TBrowserMode::sealed);
  setObjectName("WebBrowser_V11");
  auto* layout = new QVBoxLayout(this);
  // The browser fills the tab less 4 pixels in each direction.
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addWidget(WebBrowser_V11->widget());
  WebBrowser_V11->OnBeforeNavigate2 = [this](const QString&, bool& cancel) {
    if (allownavigation && !allownavigation()) cancel = true;
  };
}

// The browser goes before the widgets it lives in.
TFirstResponseView::~TFirstResponseView() {
  WebBrowser_V11.reset();
}

void TFirstResponseView::Navigate(const QString& url) {
  try {
    WebBrowser_V11->Navigate(url);
  } catch (const EBrowserError&) {
    // Only the program navigates this view, to about:blank or its own file.
  }
}

void TFirstResponseView::showfile() {
  if (folder_.isEmpty()) folder_ = QString::fromStdString(outputdir());
  Navigate("file://" + folder_ + "temp.htm");
}
