#pragma once
// Turllistwin: the separate "Pressbolt - Multiple URLs" window holding the multiple-URL list, one
// URL per line. It lives from start-up to exit; the user can never close it, only the "multiple
// URLs" option of the main window shows and hides it.

#include <QPlainTextEdit>
#include <QPushButton>
#include <QRect>
#include <QSize>
#include <QStringList>
#include <QWidget>

class Turllistwin : public QWidget {
  Q_OBJECT
 public:
  // A small tool window above the others with its caption and no title-bar buttons (a window
  // manager that shows some anyway gets a close that is refused and a minimise that showing or
  // raising the main window undoes).
  static constexpr Qt::WindowFlags kFlags =
      Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  // The window type Qt's X11 layer puts first in _NET_WM_WINDOW_TYPE, as the value of the
  // window's property kWindowTypeProperty: toolbar. openbox gives a utility window minimise and
  // maximise buttons whatever its Motif hints say, but none to a toolbar; other window managers
  // treat the two alike.
  static constexpr const char* kWindowTypeProperty = "_q_xcb_wm_window_type";
  static constexpr int kToolbarType = 0x8;
  // The designed size; the window keeps it when placed beside the main window.
  static constexpr QSize kDesignSize{400, 199};

  explicit Turllistwin(QWidget* parent = nullptr);

  // The lines of the list: empty lines count, a final line end does not start a new line, and an
  // empty list has no lines.
  QStringList lines() const;
  // Replaces the whole list.
  void setlines(const QStringList& lines);
  // Appends lines after the existing ones.
  void appendlines(const QStringList& lines);

  // Replaces the list with the lines of the file; on failure shows an error box and keeps the
  // list. Returns whether it loaded.
  bool loadfrom(const QString& path);
  // Writes the lines with CR LF; on failure shows an error box. Returns whether it saved.
  bool saveto(const QString& path);

  QPlainTextEdit* urllist() const { return urllist_; }

  // "Load URLs", "Save URLs", "Clear URLs".
  void LoadButtonClick();
  void SaveButtonClick();
  void ClearButtonClick();

  // Splits a plain text into lines as lines() counts them.
  static QStringList textlines(const QString& text);

  // Places the window beside main on main's screen at its own size (see besidemain). False when
  // there is no room for it there: the window system then places it.
  bool placebeside(const QWidget& main);
  // Where a window of this size goes beside the main window (mainframe, with the window system's
  // frame) in the screen's available area: on the side with more room, its top a little below
  // the main window's. A null rectangle when neither side has room for it: it keeps its size
  // rather than shrink.
  static QRect besidemain(const QRect& mainframe, const QRect& avail, const QSize& size);
  // A place (the client area) moved, and shrunk where it must, so that the window with its frame
  // stays on the screen's available area: a place stored on a larger screen, or one beside a main
  // window near the bottom, would leave a part of it out of reach.
  static QRect keptinside(const QRect& place, const QRect& avail);

  // From now on the window goes and comes with main: it is hidden while main is minimised, and
  // whenever main is shown, restored or activated it comes back, also from being minimised
  // itself. Call once.
  void follow(QWidget& main);
  // Brings the window back if it was minimised or went with the main window.
  void restore();

  // Any explicit show or hide ends "gone with the main window".
  void setVisible(bool visible) override;

 protected:
  // The window is never closed by the user.
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // Gives the window its type (see kWindowTypeProperty).
  void settoolbartype();

  QPlainTextEdit* urllist_;
  QWidget* main_ = nullptr;    // the window followed
  bool gonewithmain_ = false;  // hidden because main was minimised
  bool typed_ = false;         // settoolbartype has run
};
