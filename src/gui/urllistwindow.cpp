#include "gui/urllistwindow.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

#include "settings/UrlListFile.h"

Turllistwin::Turllistwin(QWidget* parent) : QWidget(parent, kFlags) {
  setObjectName("urllistwin");
  setWindowTitle("Pressbolt - Multiple URLs");
  // Closing the main window ends the program even while this window is shown.
  setAttribute(Qt::WA_QuitOnClose, false);
  setMinimumSize(200, 50);

  auto* bar = new QWidget(this);
  bar->setFixedHeight(25);
  auto* barlayout = new QHBoxLayout(bar);
  barlayout->setContentsMargins(0, 0, 0, 0);
  barlayout->setSpacing(0);
  auto button = [&](const char* name, const char* caption, void (Turllistwin::*click)()) {
    auto* b = new QPushButton(caption, bar);
    b->setObjectName(name);
    connect(b, &QPushButton::clicked, this, click);
    barlayout->addWidget(b);
  };
  button("LoadButton", "Load URLs", &Turllistwin::LoadButtonClick);
  button("SaveButton", "Save URLs", &Turllistwin::SaveButtonClick);
  button("ClearButton", "Clear URLs", &Turllistwin::ClearButtonClick);
  barlayout->addStretch();

  urllist_ = new QPlainTextEdit(this);
  urllist_->setObjectName("urllist");
  urllist_->setLineWrapMode(QPlainTextEdit::NoWrap);
  urllist_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  urllist_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // A tab character is never part of a URL: Tab moves on, as in every other field.
  urllist_->setTabChangesFocus(true);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(bar);
  layout->addWidget(urllist_);
  resize(kDesignSize);
}

void Turllistwin::showEvent(QShowEvent* event) {
  // The native window exists, and is mapped after this event: its type is set in time.
  if (!typed_) settoolbartype();
  QWidget::showEvent(event);
}

void Turllistwin::settoolbartype() {
  typed_ = true;
  // The X11 layer reads the property whenever the flags are set, and passes an unchanged set by.
  QWindow* window = windowHandle();
  window->setProperty(kWindowTypeProperty, kToolbarType);
  window->setFlags(kFlags & ~Qt::WindowStaysOnTopHint);
  window->setFlags(kFlags);
}

QStringList Turllistwin::textlines(const QString& text) {
  if (text.isEmpty()) return {};
  QStringList out = text.split('\n');
  if (text.endsWith('\n')) out.removeLast();
  return out;
}

QStringList Turllistwin::lines() const {
  return textlines(urllist_->toPlainText());
}

void Turllistwin::setlines(const QStringList& lines) {
  // Every line, even a last empty one, ends with a line end, so lines() gives them back unchanged.
  urllist_->setPlainText(lines.isEmpty() ? QString() : lines.join('\n') + '\n');
}

void Turllistwin::appendlines(const QStringList& more) {
  setlines(lines() + more);
}

bool Turllistwin::loadfrom(const QString& path) {
  std::vector<std::string> read;
  std::string error;
  if (!readurlfile(path.toStdString(), read, error)) {
    QMessageBox::critical(this, windowTitle(), QString::fromStdString(error));
    return false;
  }
  QStringList l;
  for (const auto& s : read) l << QString::fromStdString(s);
  setlines(l);
  return true;
}

bool Turllistwin::saveto(const QString& path) {
  std::vector<std::string> out;
  for (const auto& s : lines()) out.push_back(s.toStdString());
  std::string error;
  if (!writeurlfile(path.toStdString(), out, error)) {
    QMessageBox::critical(this, windowTitle(), QString::fromStdString(error));
    return false;
  }
  return true;
}

void Turllistwin::LoadButtonClick() {
  QFileDialog open(this, "Load URLs from file", QString(), "All Files (*)");
  open.setObjectName("open");
  open.setFileMode(QFileDialog::ExistingFile);
  open.setDefaultSuffix("txt");
  if (open.exec() == QDialog::Accepted && !open.selectedFiles().isEmpty())
    loadfrom(open.selectedFiles().first());
}

void Turllistwin::SaveButtonClick() {
  QFileDialog save(this, "Save URLs to file", QString(), "All Files (*)");
  save.setObjectName("save");
  save.setAcceptMode(QFileDialog::AcceptSave);
  save.setFileMode(QFileDialog::AnyFile);
  save.setDefaultSuffix("txt");
  if (save.exec() == QDialog::Accepted && !save.selectedFiles().isEmpty())
    saveto(save.selectedFiles().first());
}

void Turllistwin::ClearButtonClick() {
  urllist_->clear();
}

void Turllistwin::closeEvent(QCloseEvent* event) {
  event->ignore();
}

bool Turllistwin::placebeside(const QWidget& main) {
  QScreen* screen = main.screen();
  if (screen == nullptr) return false;
  const QRect place = besidemain(main.frameGeometry(), screen->availableGeometry(), size());
  if (place.isNull()) return false;
  setGeometry(place);
  return true;
}

namespace {
// The window system adds a frame that is not known before the window is shown: about this much on
// each side and at the bottom, and twice as much for the title bar.
constexpr int kFrame = 8;
}  // namespace

QRect Turllistwin::keptinside(const QRect& place, const QRect& avail) {
  const int width = std::max(1, std::min(place.width(), avail.width() - 2 * kFrame));
  const int height = std::max(1, std::min(place.height(), avail.height() - 3 * kFrame));
  // The top left corner wins where the screen is too small for even that: the title bar stays.
  const int x =
      std::max(avail.left() + kFrame, std::min(place.x(), avail.right() + 1 - kFrame - width));
  const int y =
      std::max(avail.top() + 2 * kFrame, std::min(place.y(), avail.bottom() + 1 - kFrame - height));
  return {x, y, width, height};
}

QRect Turllistwin::besidemain(const QRect& mainframe, const QRect& avail, const QSize& size) {
  const int frame = kFrame;
  const int right = avail.right() - mainframe.right() - 2 * frame;
  const int left = mainframe.left() - avail.left() - 2 * frame;
  if (std::max(left, right) < size.width()) return {};
  const int x =
      right >= left ? mainframe.right() + 1 + frame : mainframe.left() - frame - size.width();
  const int y = std::max(avail.top() + 2 * frame, mainframe.top() + frame);
  return keptinside({QPoint(x, y), size}, avail);
}

void Turllistwin::follow(QWidget& main) {
  main_ = &main;
  main.installEventFilter(this);
}

void Turllistwin::restore() {
  if (gonewithmain_) show();
  if (!isVisible() || !isMinimized()) return;
  setWindowState(windowState() & ~Qt::WindowMinimized);
  raise();
}

void Turllistwin::setVisible(bool visible) {
  gonewithmain_ = false;
  QWidget::setVisible(visible);
}

bool Turllistwin::eventFilter(QObject* watched, QEvent* event) {
  if (watched != main_) return QWidget::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::Hide:
    case QEvent::WindowStateChange:
      // A toolbar window is not minimised with the window it belongs to: it goes by itself.
      if (main_->isMinimized()) {
        if (isVisible()) {
          hide();
          gonewithmain_ = true;
        }
      } else if (event->type() == QEvent::WindowStateChange) {
        restore();
      }
      break;
    case QEvent::Show:
    case QEvent::WindowActivate:
      restore();
      break;
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}
