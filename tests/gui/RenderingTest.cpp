// Which scene graph the window takes: the software one on a software OpenGL renderer, and
// whatever the user chose in the environment.

#include <QQuickWindow>
#include <QtTest>
#include <cstdlib>

#include "gui/Rendering.h"

class RenderingTest : public QObject {
  Q_OBJECT
 private slots:
  void softwareRenderersAreKnownByName() {
    for (const char* name :
         {"llvmpipe (LLVM 15.0.6, 256 bits)", "softpipe", "Mesa X11 swrast", "Software Rasterizer",
          "Google SwiftShader", "GDI Generic", "LLVMPIPE"}) {
      QVERIFY2(issoftwarerenderer(name), name);
    }
    for (const char* name :
         {"", "Mesa Intel(R) UHD Graphics 620 (KBL GT2)", "NVIDIA GeForce RTX 3060/PCIe/SSE2",
          "AMD Radeon RX 6600 (radeonsi)", "SVGA3D; build: RELEASE;"}) {
      QVERIFY2(!issoftwarerenderer(name), name);
    }
  }

  void noOpenGLAtAllMeansTheSoftwareSceneGraph() {
    // The offscreen platform of the tests offers no OpenGL context, as a display without GLX.
    // First: the scene graph's choice is fixed once anything has asked for it.
    if (QGuiApplication::platformName() != "offscreen") QSKIP("needs the offscreen platform");
    const TRenderingChoice choice = choosewindowrendering();
    QVERIFY(choice.software);
    QCOMPARE(QQuickWindow::sceneGraphBackend(), QString("software"));
    QVERIFY(QString::fromStdString(choice.reason).contains("OpenGL renderer: none"));
  }
  void theUsersChoiceInTheEnvironmentIsKept() {
    qputenv("QT_QUICK_BACKEND", "opengl");
    const TRenderingChoice choice = choosewindowrendering();
    qunsetenv("QT_QUICK_BACKEND");
    QVERIFY(!choice.software);
    QCOMPARE(choice.reason, std::string("scene graph chosen in the environment"));
  }

};

QTEST_MAIN(RenderingTest)
#include "RenderingTest.moc"
