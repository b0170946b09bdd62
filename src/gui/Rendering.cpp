#include "gui/Rendering.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "common/Text.h"

namespace {

bool set(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0';
}

// The renderer string of a fresh OpenGL context; empty when none can be made.
std::string openglrenderer() {
  QOpenGLContext context;
  if (!context.create()) return {};
  QOffscreenSurface surface;
  surface.setFormat(context.format());
  surface.create();
  if (!surface.isValid() || !context.makeCurrent(&surface)) return {};
  const auto* text = reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
  std::string renderer = text != nullptr ? text : "";
  context.doneCurrent();
  return renderer;
}

}  // namespace

bool issoftwarerenderer(const std::string& renderer) {
  const std::string r = asciilower(renderer);
  for (const char* name : {"llvmpipe", "softpipe", "swrast", "software rasterizer", "lavapipe",
                           "swiftshader", "gdi generic"}) {
    if (r.find(name) != std::string::npos) return true;
  }
  return false;
}

TRenderingChoice choosewindowrendering() {
  if (set("QT_QUICK_BACKEND") || set("QSG_RHI_BACKEND")) {
    return {false, "scene graph chosen in the environment"};
  }
  // Mesa's own switch forces its software rasterizer whatever the context reports.
  const bool forced = set("LIBGL_ALWAYS_SOFTWARE");
  const std::string renderer = openglrenderer();
  if (renderer.empty() || forced || issoftwarerenderer(renderer)) {
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    return {true, "software scene graph (OpenGL renderer: " +
                      (renderer.empty() ? std::string("none") : renderer) + ")"};
  }
  return {false, "OpenGL scene graph (OpenGL renderer: " + renderer + ")"};
}
