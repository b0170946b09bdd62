// The desktop program: the URL list window, then the main window, on one thread whose Qt event
// loop also drives the network loop.

#include <QApplication>
#include <QMessageBox>
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "gui/HttpAsy1.h"
#include "gui/Rendering.h"
#include "gui/UvQtBridge.h"
#include "gui/WindowHost.h"
#include "gui/urllistwindow.h"
#include "net/EventLoop.h"
#include "net/FdLimit.h"

namespace {

bool hasdisplay() {
  auto set = [](const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
  };
  return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char* argv[]) {
  // Without a display Qt would abort with a long plugin message; say what to do instead.
  if (!hasdisplay()) {
    std::fprintf(stderr,
                 "pressbolt: no display found (DISPLAY is not set); the window needs X11 or "
                 "Wayland \xe2\x80\x94 try xvfb-run, or use pressbolt-cli\n");
    return 1;
  }
  // A test of thousands of users needs thousands of sockets, and a descriptor table sized for
  // them before the toolkit starts its threads.
  raisefdlimit();
  reservefdtable(kFdTableReserve);
  // The embedded browser views share their drawing context with the window.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  // Before the first widget: the window must not compose through a software OpenGL renderer.
  choosewindowrendering();
  TUvQtBridge bridge(TEventLoop::Default());
  QApplication::setApplicationVersion(PRESSBOLT_VERSION);
  // The log's time stamps follow the user's date and time format.
  std::setlocale(LC_ALL, "");
  // The main window's close ends the program even while the URL list window is shown.
  QApplication::setQuitOnLastWindowClosed(false);

  Turllistwin urllistwin;
  THttpAsyForm form(urllistwin, QApplication::arguments());
  quitonclose(form);
  urllistwin.follow(form);
  QApplication::setApplicationName("Pressbolt V4");
  // The load test behind "Start Test" and "A&bort Test".
  TWindowHost host(form);
  // An error inside a network handler is shown the way the window shows any error; the program
  // goes on.
  TEventLoop::SetExceptionHook([&form](const std::string& what) {
    QMessageBox::critical(&form, QApplication::applicationName(), QString::fromStdString(what));
  });
  form.show();
  return app.exec();
}
