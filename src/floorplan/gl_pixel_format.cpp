#include "floorplan/gl_pixel_format.h"

#include <QGuiApplication>
#include <QOpenGLWidget>
#include <QScreen>

namespace floorplan {

ColourSplit splitColourBits(int colourBits) {
    colourBits &= 0xff;  // the descriptor's cColorBits is one byte
    if (colourBits >= 24) return {8, 8, 8};
    if (colourBits == 16) return {5, 6, 5};
    if (colourBits == 15) return {5, 5, 5};
    if (colourBits >= 3) return {colourBits / 3, colourBits / 3, colourBits / 3};
    return {};
}

QSurfaceFormat pixelFormatFor(int colourBits, int stencilBits) {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    const ColourSplit split = splitColourBits(colourBits);
    format.setRedBufferSize(split.red);
    format.setGreenBufferSize(split.green);
    format.setBlueBufferSize(split.blue);
    format.setAlphaBufferSize(0);  // cAlphaBits 0: the view is opaque
    format.setDepthBufferSize(16);
    format.setStencilBufferSize(stencilBits);
    return format;
}

const QSurfaceFormat& sharedPixelFormat(int stencilBits) {
    // Filled once, on first use: every view of the process asks for the same format.
    static const QSurfaceFormat shared = [stencilBits] {
        const QScreen* screen = QGuiApplication::primaryScreen();
        return pixelFormatFor(screen != nullptr ? screen->depth() : 0, stencilBits);
    }();
    return shared;
}

void applyPixelFormat(QOpenGLWidget& widget, int stencilBits) {
    widget.setFormat(sharedPixelFormat(stencilBits));
}

}  // namespace floorplan
