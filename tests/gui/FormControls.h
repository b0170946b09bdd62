#pragma once
// The main window's controls for the GUI tests, found as a user's tools find them: by their
// object names. The window keeps its controls private; a test reaches one through ui(form).Name.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextEdit>
#include <cstdio>
#include <cstdlib>

#include "browser/BrowseTab.h"
#include "browser/DownloadTab.h"
#include "browser/FirstResponseView.h"
#include "gui/CaptionPanel.h"
#include "gui/ResultCharts.h"

struct TFormControls {
  // The one child of form with this name, of type T. None, two, or one of another type is a
  // fault of the test or of the window's naming: the test program stops and says which. The
  // type is checked by RTTI, as not every control's class declares itself to Qt's type system.
  template <class T>
  static T* find(const QWidget& form, const char* name) {
    const QList<QWidget*> found = form.findChildren<QWidget*>(name);
    T* control = found.size() == 1 ? dynamic_cast<T*>(found.first()) : nullptr;
    if (control == nullptr) {
      std::fprintf(stderr, "%lld controls %s in the main window, one of the expected type wanted\n",
                   static_cast<long long>(found.size()), name);
      std::abort();
    }
    return control;
  }

  explicit TFormControls(const QWidget& form) : form(form) {}
  const QWidget& form;
  QLabel* StatusText = find<QLabel>(form, "StatusText");
  QTabWidget* PageControl2 = find<QTabWidget>(form, "PageControl2");
  QWidget* TabSheet8 = find<QWidget>(form, "TabSheet8");
  QWidget* TabSheet6 = find<QWidget>(form, "TabSheet6");
  QWidget* TabSheet7 = find<QWidget>(form, "TabSheet7");
  QLineEdit* url1 = find<QLineEdit>(form, "url1");
  QLineEdit* Edit2 = find<QLineEdit>(form, "Edit2");
  QWidget* Panel4 = find<QWidget>(form, "Panel4");
  QLabel* Panel6 = find<QLabel>(form, "Panel6");
  QRadioButton* singleurl = find<QRadioButton>(form, "singleurl");
  QRadioButton* multiurl = find<QRadioButton>(form, "multiurl");
  QLineEdit* URLEdit = find<QLineEdit>(form, "URLEdit");
  QCheckBox* checkproxy = find<QCheckBox>(form, "checkproxy");
  QLineEdit* proxy = find<QLineEdit>(form, "proxy");
  QLineEdit* port = find<QLineEdit>(form, "port");
  QCheckBox* useusername = find<QCheckBox>(form, "useusername");
  QLineEdit* username = find<QLineEdit>(form, "username");
  QLineEdit* pw = find<QLineEdit>(form, "pw");
  QCheckBox* loadusernames = find<QCheckBox>(form, "loadusernames");
  QCheckBox* useagent = find<QCheckBox>(form, "useagent");
  QComboBox* agent = find<QComboBox>(form, "agent");
  QCheckBox* usepost = find<QCheckBox>(form, "usepost");
  QLineEdit* POSTDATA = find<QLineEdit>(form, "POSTDATA");
  QSpinBox* SpinEdit1 = find<QSpinBox>(form, "SpinEdit1");
  QSpinBox* SpinEdit2 = find<QSpinBox>(form, "SpinEdit2");
  QSpinBox* SpinEdit3 = find<QSpinBox>(form, "SpinEdit3");
  QCheckBox* Checkshowgraph = find<QCheckBox>(form, "Checkshowgraph");
  QCheckBox* Checkcookie = find<QCheckBox>(form, "Checkcookie");
  QCheckBox* SimultCheckBox = find<QCheckBox>(form, "SimultCheckBox");
  QCheckBox* usekey = find<QCheckBox>(form, "usekey");
  QLineEdit* offset = find<QLineEdit>(form, "offset");
  QCheckBox* Ramp = find<QCheckBox>(form, "Ramp");
  QCheckBox* HeaderCheckBox = find<QCheckBox>(form, "HeaderCheckBox");
  QCheckBox* DataCheckBox = find<QCheckBox>(form, "DataCheckBox");
  QCheckBox* onerroronlyCheckBox = find<QCheckBox>(form, "onerroronlyCheckBox");
  QPushButton* ExecButton = find<QPushButton>(form, "ExecButton");
  QPushButton* AbortButton = find<QPushButton>(form, "AbortButton");
  QPushButton* Button2 = find<QPushButton>(form, "Button2");
  QPushButton* LogFolderButton = find<QPushButton>(form, "LogFolderButton");
  QPushButton* OpenResultsButton = find<QPushButton>(form, "OpenResultsButton");
  QPushButton* SaveResultsButton = find<QPushButton>(form, "SaveResultsButton");
  TCaptionPanel* Panel2 = find<TCaptionPanel>(form, "Panel2");
  QTabWidget* PageControl1 = find<QTabWidget>(form, "PageControl1");
  QWidget* TabSheet4 = find<QWidget>(form, "TabSheet4");
  TResultCharts* Panel3 = find<TResultCharts>(form, "Panel3");
  QTextEdit* datamemo = find<QTextEdit>(form, "datamemo");
  QPlainTextEdit* DisplayMemo = find<QPlainTextEdit>(form, "DisplayMemo");
  QCheckBox* CheckBox2 = find<QCheckBox>(form, "CheckBox2");
  QLineEdit* label3 = find<QLineEdit>(form, "label3");
  QPlainTextEdit* Memo1 = find<QPlainTextEdit>(form, "Memo1");
  QPlainTextEdit* Memo2 = find<QPlainTextEdit>(form, "Memo2");
  TBrowseTab* browsetab = find<TBrowseTab>(form, "TabSheet8");
  TDownloadTab* downloadtab = find<TDownloadTab>(form, "TabSheet7");
  TFirstResponseView* WebBrowser_V11 = find<TFirstResponseView>(form, "WebBrowser_V11");
};

inline TFormControls ui(const QWidget& form) {
  return TFormControls(form);
}
