#pragma once
// The pixel format request of the floor plan view: double-buffered RGBA at
// the display's colour depth with a 16-bit depth buffer.
//
// One request per process: filled on its first use from the display's colour
// depth and the stencil bits given then, and reused unchanged afterwards.

#include <QSurfaceFormat>

class QOpenGLWidget;

namespace floorplan {

// Red, green and blue sizes for a display of `colourBits` bits per pixel
// (24 and 32 give 8/8/8, 16 gives 5/6/5, 15 gives 5/5/5); -1 (don't care)
// for a depth that cannot be split.
struct ColourSplit {
    int red = -1;
    int green = -1;
    int blue = -1;
};
ColourSplit splitColourBits(int colourBits);

// The request for a display of `colourBits` bits per pixel: double-buffered
// RGBA (no alpha planes asked for), the colour split above, a 16-bit depth
// buffer, `stencilBits` stencil bits, desktop OpenGL with the default (legacy,
// compatibility) version so that OpenGL 1.1 immediate mode and display lists work.
QSurfaceFormat pixelFormatFor(int colourBits, int stencilBits);

// The process's shared request. The first call reads the primary screen's
// colour depth (a QGuiApplication must exist) and takes `stencilBits`; later
// calls return the same request whatever they pass.
const QSurfaceFormat& sharedPixelFormat(int stencilBits);

// Asks for the shared format on `widget`; call before the widget is shown.
void applyPixelFormat(QOpenGLWidget& widget, int stencilBits);

}  // namespace floorplan
