#include "app_test_support.h"

#include <dlfcn.h>
#include <link.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string_view>

#include "floorplan/floor_plan_view.h"

namespace apptest {

std::optional<QString> TestDialog::askForFloorFile() {
    ++chooserCalls;
    if (chooserAnswers.empty()) return std::nullopt;
    const QString answer = chooserAnswers.front();
    chooserAnswers.pop_front();
    if (answer.isNull()) return std::nullopt;
    return std::optional<QString>(answer);
}

std::optional<QString> TestDialog::askForScenarioFile(bool forSaving) {
    scenarioAsks.push_back(forSaving);
    if (scenarioAnswers.empty()) return std::nullopt;
    const QString answer = scenarioAnswers.front();
    scenarioAnswers.pop_front();
    if (answer.isNull()) return std::nullopt;
    return std::optional<QString>(answer);
}

QMessageBox::StandardButton TestDialog::showMessage(QMessageBox::Icon icon, const QString& title,
                                                    const QString& text,
                                                    QMessageBox::StandardButtons buttons,
                                                    QMessageBox::StandardButton defaultButton) {
    messages.push_back({icon, title, text, buttons});
    if (messageAnswers.empty()) return defaultButton;
    const QMessageBox::StandardButton answer = messageAnswers.front();
    messageAnswers.pop_front();
    return answer;
}

StartDirectory::StartDirectory() {
    testsupport::copyTemplates(dir_.path());
    const auto recordDir = dir_ / "runtime-record";
    std::filesystem::create_directories(recordDir);
    const auto log = recordDir / "log.txt";
    const auto program = recordDir / "mvnrt-recorder";
    testsupport::writeFile(program,
                           "#!/bin/sh\n"
                           "{ pwd -P; echo \"$#\";\n"
                           "  if [ -f bProj/Vellico/startup.pc ]; then echo built;"
                           " else echo missing; fi; } > '" +
                               log.string() + ".part'\n" + "mv '" + log.string() + ".part' '" +
                               log.string() + "'\n");
    std::filesystem::permissions(program, std::filesystem::perms::owner_all |
                                              std::filesystem::perms::group_read |
                                              std::filesystem::perms::group_exec);
    hadRuntime_ = qEnvironmentVariableIsSet("MORVANTA_RUNTIME");
    previousRuntime_ = qgetenv("MORVANTA_RUNTIME");
    qputenv("MORVANTA_RUNTIME", QByteArray::fromStdString(program.string()));
    current_ = std::make_unique<testsupport::ScopedCurrentDirectory>(dir_.path());
}

StartDirectory::~StartDirectory() {
    current_.reset();
    if (hadRuntime_) {
        qputenv("MORVANTA_RUNTIME", previousRuntime_);
    } else {
        qunsetenv("MORVANTA_RUNTIME");
    }
}

std::vector<std::string> StartDirectory::waitForRuntimeRecord(int timeoutMs) const {
    QElapsedTimer timer;
    timer.start();
    while (!std::filesystem::exists(runtimeLog())) {
        if (timer.elapsed() > timeoutMs) return {};
        QTest::qWait(20);
    }
    return readRows(runtimeLog());
}

std::string kvxFloor(const std::vector<Vertex>& vertices) {
    std::string text =
        "KVX TEXT 2.1\r\nTW_Scene SCN-Test\r\n\tTW_Node NOD-World\r\n"
        "\t\tTW_Node NOD-Floor\r\n"
        "\t\t\tTW_Mesh MSH-TestFloor\r\n"
        "\t\t\t\tMaterial MAT-Test\r\n"
        "\t\t\t\tFlags OUTLINE\r\n"
        "\t\t\t\tBounds 0, 0, 0, 0, 0, 0\r\n"
        "\t\t\t\tTW_VertexList\r\n";
    text += "\t\t\t\t\t" + std::to_string(vertices.size()) + "\r\n";
    text += "\t\t\t\t\t; x, y, z\r\n";
    for (const Vertex& v : vertices) {
        char line[128];
        std::snprintf(line, sizeof line, "\t\t\t\t\t%f, %f, %f\r\n", static_cast<double>(v[0]),
                      static_cast<double>(v[1]), static_cast<double>(v[2]));
        text += line;
    }
    return text;
}

std::vector<Vertex> squareFloor(float half) {
    return {Vertex{-half, 0.0f, -half}, Vertex{half, 0.0f, -half}, Vertex{half, 0.0f, half},
            Vertex{-half, 0.0f, half}};
}

bool showAndWait(app::EscapeSetupDialog& dialog) {
    dialog.show();
    if (!QTest::qWaitForWindowExposed(&dialog)) return false;
    floorplan::FloorPlanView* view = dialog.floorView();
    QElapsedTimer timer;
    timer.start();
    while (view->lastLoad().requestedPath.empty()) {
        if (timer.elapsed() > 10000) return false;
        QTest::qWait(10);
    }
    return true;
}

std::map<std::string, std::string> treeOf(const std::filesystem::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file())
            files[std::filesystem::relative(entry.path(), root).generic_string()] =
                testsupport::readFile(entry.path());
    }
    return files;
}

std::vector<std::string> readRows(const std::filesystem::path& file) {
    std::vector<std::string> rows;
    std::ifstream in(file, std::ios::binary);
    std::string row;
    while (std::getline(in, row)) {
        if (!row.empty() && row.back() == '\r') row.pop_back();
        rows.push_back(row);
    }
    return rows;
}

bool hasRow(const std::vector<std::string>& rows, const std::string& row) {
    return std::find(rows.begin(), rows.end(), row) != rows.end();
}

void pinOpenGlDrivers() {
    std::vector<std::string> drivers;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* out) {
            const std::string_view name = info->dlpi_name != nullptr ? info->dlpi_name : "";
            if (name.ends_with("_dri.so"))
                static_cast<std::vector<std::string>*>(out)->emplace_back(name);
            return 0;
        },
        &drivers);
    for (const std::string& driver : drivers)
        ::dlopen(driver.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

void prepareEnvironment() {
    ::setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "xcb", 1);
}

}  // namespace apptest
