#include "viewer/viewer.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#include "inputs/project.h"
#include "projectformat/project_files.h"
#include "run/single_run.h"
#include "viewer/run_window.h"
#include "viewer/scene_view.h"

namespace viewer {

namespace {

// The application object, made once (QApplication wants argc alive as long
// as it lives) and destroyed by ApplicationScope.
std::unique_ptr<QApplication> gApplication;

QApplication& application() {
    static int argc = 1;
    static char name[] = "mvnrt";
    static char* argv[] = {name, nullptr};
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return *app;
    useSceneSurfaceFormat();
    gApplication = std::make_unique<QApplication>(argc, argv);
    return *gApplication;
}

std::string cappedText(const std::string& s) {
    return s.size() > 2000 ? s.substr(0, 2000) + "..." : s;
}

}  // namespace

ApplicationScope::~ApplicationScope() { gApplication.reset(); }

bool displayAvailable() {
    const char* x = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    return (x != nullptr && *x != '\0') || (w != nullptr && *w != '\0');
}

void showErrorBox(const std::string& message) {
    application();
    QMessageBox box(QMessageBox::Critical, QStringLiteral("mvnrt"),
                    QStringLiteral("The run cannot start."), QMessageBox::Close);
    box.setInformativeText(QString::fromStdString(cappedText(message)));
    box.exec();
}

int runWithWindow(const runtime::PreparedRun& prep, const runtime::Options& opt,
                  runtime::RunHooks hooks) {
    application();
    LiveFeed feed(prep.meta.exitNames);
    LiveSetup setup;
    setup.title =
        prep.meta.mode == "project" ? std::filesystem::current_path().string() : prep.meta.name;
    // Warnings first, then which rule gave the roles, then the notes.
    for (const std::string& w : prep.meta.warnings) setup.notes.push_back("WARNING: " + w);
    if (!prep.meta.roleRule.empty()) setup.notes.push_back("people: " + prep.meta.roleRule);
    for (const std::string& n : prep.meta.notes) setup.notes.push_back(n);
    if (prep.camera)
        setup.scriptCamera = scene::Vec3{prep.camera->x / projectformat::kWorldUnitsPerMetre,
                                         prep.camera->y / projectformat::kWorldUnitsPerMetre,
                                         prep.camera->z / projectformat::kWorldUnitsPerMetre};
    setup.exitAtEnd = opt.exitAtEnd;
    setup.speed = opt.playbackSpeed;
    for (const runtime::FrameSink* sink : hooks.sinks)
        if (!sink->recordingTarget().empty()) setup.recording.push_back(sink->recordingTarget());
    RunWindow window(feed, setup);
    window.show();

    runtime::SingleRunResult result;
    result.status = 1;
    std::string problem;
    bool setupRefused = false;
    hooks.sinks.push_back(&feed);
    hooks.keepGoing = [&feed] { return !feed.closed(); };
    hooks.stoppedAt = [&feed] { return feed.shownAtClose(); };
    std::thread worker([&] {
        try {
            result = runtime::runPrepared(prep, opt, hooks);
        } catch (const std::invalid_argument& e) {
            problem = prep.meta.source + ": " + e.what();
            setupRefused = true;
        } catch (const std::exception& e) {
            problem = e.what();
        }
        RunEnd end;
        end.everyoneOut = result.summary.everyoneOut;
        end.endTime = result.summary.everyoneOut ? result.summary.evacuationTime
                                                 : result.summary.simulatedSeconds;
        end.stillInside = static_cast<int>(result.summary.stillInside.size());
        end.resultsFolder = prep.outDir.string();
        for (const runtime::Recording& r : result.summary.recordings)
            end.recordings.push_back(runtime::recordingLine(r));
        if (!problem.empty())
            end.problem = problem;
        else if (result.status != 0)
            end.problem = "not all results could be written (see the terminal)";
        QMetaObject::invokeMethod(
            &window, [&window, end] { window.runEnded(end); }, Qt::QueuedConnection);
    });
    QApplication::exec();
    feed.close();  // the window is closed: a waiting simulation stops
    worker.join();
    if (!problem.empty()) {
        std::cerr << "mvnrt: " << cappedText(problem) << "\n";
        if (setupRefused) {
            showErrorBox(problem);
            return 2;
        }
        return 1;
    }
    return result.status;
}

int replayInWindow(const std::string& place) {
    RecordedRun run;
    try {
        run = loadRecordedRun(place);
    } catch (const std::exception& e) {
        std::cerr << "mvnrt: " << cappedText(e.what()) << "\n";
        showErrorBox(e.what());
        return 2;
    }
    application();
    RunWindow window(std::move(run));
    window.show();
    QApplication::exec();
    return 0;
}

}  // namespace viewer
