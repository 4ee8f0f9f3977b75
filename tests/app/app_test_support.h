#pragma once
// Helpers of the dialog tests: a dialog whose file chooser and message boxes
// answer from a script, a start directory with the templates, a recording
// fake runtime, and KVX test floors.

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QTest>
#include <array>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/escape_setup_dialog.h"
#include "support/test_support.h"

namespace apptest {

// The dialog with scripted answers: each call of the file chooser takes the
// next entry of `chooserAnswers` (a null text = cancel), each message box the
// next entry of `messageAnswers` (its default button when the list is empty).
class TestDialog : public app::EscapeSetupDialog {
  public:
    struct Message {
        QMessageBox::Icon icon;
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
    };

    std::deque<QString> chooserAnswers;
    int chooserCalls = 0;
    std::deque<QMessageBox::StandardButton> messageAnswers;
    std::vector<Message> messages;
    // Answers of the scenario file chooser (a null text = cancel), and
    // whether each call asked for a file to save to.
    std::deque<QString> scenarioAnswers;
    std::vector<bool> scenarioAsks;

  protected:
    std::optional<QString> askForFloorFile() override;
    std::optional<QString> askForScenarioFile(bool forSaving) override;
    QMessageBox::StandardButton showMessage(QMessageBox::Icon icon, const QString& title,
                                            const QString& text,
                                            QMessageBox::StandardButtons buttons,
                                            QMessageBox::StandardButton defaultButton) override;
};

// A fresh start directory with the templates, current for the lifetime of
// the object, and MORVANTA_RUNTIME pointing at a recording fake runtime
// that writes its working directory, its argument count and whether the
// startup script existed when it started into `runtimeLog()`.
class StartDirectory {
  public:
    StartDirectory();
    ~StartDirectory();

    const std::filesystem::path& path() const { return dir_.path(); }
    std::filesystem::path operator/(std::string_view name) const { return dir_ / name; }
    std::filesystem::path runtimeLog() const { return dir_ / "runtime-record" / "log.txt"; }

    // Lines of the record, once the runtime has written it (waits up to
    // `timeoutMs`); empty when it never started.
    std::vector<std::string> waitForRuntimeRecord(int timeoutMs = 10000) const;

  private:
    testsupport::TempDir dir_;
    std::unique_ptr<testsupport::ScopedCurrentDirectory> current_;
    QByteArray previousRuntime_;
    bool hadRuntime_ = false;
};

using Vertex = std::array<float, 3>;

// The text of a KVX floor whose first mesh block holds `vertices` (CR LF
// line ends), in the layout the floor reader consumes.
std::string kvxFloor(const std::vector<Vertex>& vertices);

// A square floor from -half to +half in x and z (its scale is `half`).
std::vector<Vertex> squareFloor(float half);

// Shows the dialog and waits until its floor view has loaded its floor.
bool showAndWait(app::EscapeSetupDialog& dialog);

// The rows of a generated text file, without their CR LF.
std::vector<std::string> readRows(const std::filesystem::path& file);

// All files below `root`, by their path relative to it, with their bytes.
std::map<std::string, std::string> treeOf(const std::filesystem::path& root);

// Whether `rows` holds `row` exactly.
bool hasRow(const std::vector<std::string>& rows, const std::string& row);

// Keeps the loaded OpenGL drivers (*_dri.so) in memory until the process
// ends, so the leak checker of a sanitizer build can still name them when it
// applies the suppressions of tests/lsan.supp.
void pinOpenGlDrivers();

// Software OpenGL on the xcb platform (unless a platform was asked for).
void prepareEnvironment();

}  // namespace apptest

// The test main: a QApplication, the test class, and the drivers pinned
// before the leak check.
#define APPTEST_MAIN(TestClass)                        \
    int main(int argc, char** argv) {                  \
        apptest::prepareEnvironment();                 \
        int result = 0;                                \
        {                                              \
            QApplication application(argc, argv);      \
            TestClass tests;                           \
            result = QTest::qExec(&tests, argc, argv); \
            apptest::pinOpenGlDrivers();               \
        }                                              \
        return result;                                 \
    }
