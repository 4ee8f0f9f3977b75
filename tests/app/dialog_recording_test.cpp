// "Create AVI" and "Create KVX" end to end: the dialog builds the default
// scenario and starts the real runtime, which leaves its recording where its
// report says.

#include <QDeadlineTimer>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <regex>

#include "app_test_support.h"
#include "movie_probe.h"
#include "recording/kvx_motion.h"

using apptest::TestDialog;
namespace fs = std::filesystem;

namespace {

// Points the dialog at the real mvnrt through a small script that keeps its
// report (stdout and stderr) in report.txt of the start directory. The
// display is taken away so the runtime records headless, as on a server.
void useRealRuntime(const apptest::StartDirectory& start) {
    const fs::path script = start / "mvnrt-with-report.sh";
    std::ofstream(script) << "#!/bin/sh\nexec env -u DISPLAY -u WAYLAND_DISPLAY '" MVNRT_PATH
                             "' \"$@\" >report.txt 2>&1\n";
    fs::permissions(script, fs::perms::owner_all);
    qputenv("MORVANTA_RUNTIME", QByteArray::fromStdString(script.string()));
}

// The report once the runtime has finished it ("Results in ..." is its last
// line); empty after the timeout.
std::string waitForReport(const apptest::StartDirectory& start, int timeoutMs = 60000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const fs::path file = start / "report.txt";
        if (fs::exists(file)) {
            const std::string report = testsupport::readFile(file);
            if (report.find("Results in ") != std::string::npos) return report;
        }
        QTest::qWait(100);
    }
    return {};
}

// The file, frame count and length of the report's "Recorded <kind> ..." line.
struct ReportedRecording {
    std::string file;
    int frames = 0;
    double seconds = 0.0;
};
ReportedRecording reported(const std::string& report, const std::string& kind) {
    std::smatch m;
    const std::regex line("Recorded " + kind + " (.+): ([0-9]+) frames, ([0-9.]+) s");
    if (!std::regex_search(report, m, line)) return {};
    return {m[1].str(), std::stoi(m[2].str()), std::stod(m[3].str())};
}

}  // namespace

class DialogRecordingTest : public QObject {
    Q_OBJECT

  private slots:
    void createAviLeavesTheMovieInTheStartDirectory();
    void createKvxLeavesTheMotionFileWhereTheReportSays();
};

void DialogRecordingTest::createAviLeavesTheMovieInTheStartDirectory() {
    apptest::StartDirectory start;
    useRealRuntime(start);
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    QTest::mouseClick(dialog.control<QPushButton>(app::IdCreateAvi), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const std::string report = waitForReport(start);
    QVERIFY2(!report.empty(), testsupport::readFile(start / "report.txt").c_str());
    const ReportedRecording movie = reported(report, "movie");
    QCOMPARE(movie.file, std::string("test.avi"));
    QVERIFY2(reported(report, "motion").file.empty(), report.c_str());
    const auto info = recordingtest::probeMovie(start / "test.avi");
    QCOMPARE(info.codec, std::string("mpeg4"));
    QCOMPARE(info.width, 1280);
    QCOMPARE(info.height, 720);
    QCOMPARE(info.fps, 24.0);
    QCOMPARE(info.frames, static_cast<std::int64_t>(movie.frames));
    // As long as the evacuation (the report rounds it to 0.1 s).
    std::smatch m;
    QVERIFY(std::regex_search(report, m, std::regex("Evacuation time: ([0-9.]+) s")));
    QVERIFY(std::abs(info.seconds - std::stod(m[1].str())) < 0.1);
    QVERIFY(!fs::exists(start / "bProj" / "results" / "latest" / "mocap.kvx"));
}

void DialogRecordingTest::createKvxLeavesTheMotionFileWhereTheReportSays() {
    apptest::StartDirectory start;
    useRealRuntime(start);
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    QTest::mouseClick(dialog.control<QPushButton>(app::IdCreateKvx), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const std::string report = waitForReport(start);
    QVERIFY2(!report.empty(), testsupport::readFile(start / "report.txt").c_str());
    const ReportedRecording motion = reported(report, "motion");
    // In the run's own folder below bProj/results.
    QVERIFY2(motion.file.rfind("bProj/results/single-", 0) == 0, motion.file.c_str());
    QVERIFY2(fs::path(motion.file).filename() == "mocap.kvx", motion.file.c_str());
    QVERIFY2(report.find("there is no drive H: here") != std::string::npos, report.c_str());
    const recording::Motion read = recording::readMotion(start / motion.file);
    QCOMPARE(read.actors.size(), std::size_t(20));  // the default scenario
    QCOMPARE(static_cast<int>(read.frames.size()), motion.frames);
    // Until the last person is out: everyone left, the last frame within
    // 1/24 s before that.
    QVERIFY(read.end.everyoneOut);
    QCOMPARE(read.end.leaving.size(), std::size_t(20));
    QVERIFY(read.frames.back().time <= read.end.evacuationTime);
    QVERIFY(read.frames.back().time > read.end.evacuationTime - 1.0 / 24);
    QVERIFY(!fs::exists(start / "test.avi"));
}

APPTEST_MAIN(DialogRecordingTest)

#include "dialog_recording_test.moc"
