// Test entry of the floor plan view: a real QApplication on the xcb platform
// with Mesa's software OpenGL (the Makefile runs ctest under Xvfb).
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (ctest's discovery at build time) needs no display.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();

    ::setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
