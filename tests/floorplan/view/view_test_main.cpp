// Test entry of the floor plan view: a real QApplication on the xcb platform
// with Mesa's software OpenGL (the Makefile runs ctest under Xvfb).
#include <gtest/gtest.h>
#include <dlfcn.h>
#include <link.h>

#include <QApplication>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Keeps the loaded OpenGL drivers (*_dri.so) in memory until the process
// ends. They are unloaded with the display connection otherwise, before the
// leak checker runs, and it can then no longer name them to apply the
// suppressions of tests/lsan.supp to their allocations.
void pinOpenGlDrivers() {
    std::vector<std::string> drivers;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* out) {
            const std::string_view name = info->dlpi_name != nullptr ? info->dlpi_name : "";
            if (name.ends_with("_dri.so")) static_cast<std::vector<std::string>*>(out)->emplace_back(name);
            return 0;
        },
        &drivers);
    for (const std::string& driver : drivers) {
        ::dlopen(driver.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (ctest's discovery at build time) needs no display.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();

    ::setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    const int result = RUN_ALL_TESTS();
    pinOpenGlDrivers();
    return result;
}
