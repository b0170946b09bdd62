#pragma once
// How the window is drawn. The browser views make their top-level window compose through the
// Quick scene graph; on an OpenGL renderer that is itself software (a VM, a remote desktop, Xvfb)
// every repaint of the window then costs milliseconds of CPU on the thread that times the
// requests, plus the rasterizer's own threads on the other cores. There the software scene graph
// draws the same views into plain images, and the window stays a raster window.

#include <string>

// True for an OpenGL renderer string that names a software rasterizer (llvmpipe, softpipe,
// swrast and the like); false for a GPU's and for an empty string.
bool issoftwarerenderer(const std::string& renderer);

// What the program chose and why: "software scene graph (OpenGL renderer: llvmpipe ...)".
struct TRenderingChoice {
  bool software = false;
  std::string reason;
};

// Chooses the scene graph for the browser views. Call after the QApplication exists and before
// the first widget. A scene graph the user chose (QT_QUICK_BACKEND or QSG_RHI_BACKEND in the
// environment) is kept; otherwise the OpenGL renderer is asked, and the software scene graph is
// taken when it is a software one or when no OpenGL context can be made at all.
TRenderingChoice choosewindowrendering();
