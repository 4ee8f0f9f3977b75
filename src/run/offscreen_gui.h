#pragma once
// Text drawn with QPainter needs a font database, which needs a
// QGuiApplication: this makes one on the "offscreen" platform (no display)
// when none exists, for as long as the returned object lives.

#include <QGuiApplication>
#include <memory>

namespace runtime {

std::unique_ptr<QGuiApplication> offscreenGuiIfNeeded();

}  // namespace runtime
