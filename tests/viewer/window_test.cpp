// mvnrt's window, shown for real under Xvfb: the picture at a known place for
// both cameras, the keys and the clock, the same results with and without a
// window, a replay that shows what the live run showed, and the message box
// of a project that cannot be run.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <thread>

#include "run/prepare.h"
#include "inputs/project.h"
#include "run/single_run.h"
#include "support/test_support.h"
#include "viewer/live_feed.h"
#include "viewer/run_window.h"
#include "viewer/scene_view.h"
#include "viewer/viewer.h"

namespace {

// Twelve people in a small room with one door: out in a few seconds.
const char* kScenario = R"({
  "name": "small room",
  "seed": 2,
  "walkable": [[[0, 0], [6, 0], [6, 4], [0, 4]]],
  "exits": [{"name": "door", "from": [6, 1.5], "to": [6, 2.5]}],
  "fill": [{"area": [[3, 0.5], [5.5, 0.5], [5.5, 3.5], [3, 3.5]], "count": 12}]
})";

void showWindow(QWidget& w, int width, int height) {
    w.resize(width, height);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
}

// Waits (handling events) until `done` or `seconds` have passed.
template <typename Done>
bool waitFor(Done done, double seconds) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (static_cast<double>(t.elapsed()) > seconds * 1000.0) return false;
        QTest::qWait(10);
    }
    return true;
}

struct Blob {
    int count = 0;
    double meanX = 0.0, meanY = 0.0;
    int top = 1 << 30, bottom = -1;
};

// Pixels that differ between two pictures within a region.
Blob difference(const QImage& a, const QImage& b, QRect region) {
    Blob blob;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x) {
            const QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
            if (std::abs(p.red() - q.red()) + std::abs(p.green() - q.green()) +
                    std::abs(p.blue() - q.blue()) <
                30)
                continue;
            ++blob.count;
            blob.meanX += x + 0.5;
            blob.meanY += y + 0.5;
            blob.top = std::min(blob.top, y);
            blob.bottom = std::max(blob.bottom, y + 1);
        }
    if (blob.count > 0) {
        blob.meanX /= blob.count;
        blob.meanY /= blob.count;
    }
    return blob;
}

// One person (or nobody) on the basic 14 m floor, with the script camera of
// floor scale 70.
viewer::RecordedRun onePerson(bool shown) {
    viewer::RecordedRun run;
    run.title = "one person";
    run.scene.floor = {{{-7, -7}, {7, -7}, {7, 7}, {-7, 7}}};
    run.scene.walls = scene::wallsWithoutGaps(run.scene.floor, {});
    run.scene.people = {{crowd::Role::Adult, 0.1}};
    viewer::LiveFrame f;
    if (shown) f.frame = {0.0, {0}, {{1.5, -2.0}}};
    run.frames = {f};
    run.scriptCamera = scene::Vec3{-10.0, 2.0, 10.0};
    return run;
}

QImage grab(viewer::RunWindow& w) {
    return w.view().grabFramebuffer().convertToFormat(QImage::Format_RGB32);
}

TEST(RunWindow, APersonAppearsWhereEitherCameraPutsIt) {
    for (const QSize size : {QSize(640, 480), QSize(900, 520)}) {
        viewer::RunWindow with(onePerson(true)), without(onePerson(false));
        showWindow(with, size.width(), size.height());
        showWindow(without, size.width(), size.height());
        for (int camera = 0; camera < 2; ++camera) {
            if (camera == 1) {
                QTest::keyClick(&with, Qt::Key_C);
                QTest::keyClick(&without, Qt::Key_C);
            }
            const QImage a = grab(with), b = grab(without);
            const int w = a.width(), h = a.height();
            ASSERT_EQ(w, static_cast<int>(
                             std::lround(with.view().width() * with.view().devicePixelRatioF())));
            // Away from the overlay's panels (the count of people inside differs).
            const Blob blob = difference(a, b, QRect(w / 4, h / 5, w / 2, 3 * h / 5));
            // From above a body of 0.1 m is a few pixels across.
            ASSERT_GT(blob.count, 5) << with.view().cameraName();
            const scene::Camera& cam = *with.view().camera();
            const double height = scene::roleHeight(crowd::Role::Adult);
            const auto foot = cam.project({1.5, 0.0, -2.0}, w, h);
            const auto crown = cam.project({1.5, height, -2.0}, w, h);
            ASSERT_TRUE(foot && crown);
            EXPECT_NEAR(blob.meanX, (*foot)[0], 2.0) << with.view().cameraName();
            if (cam.kind() == scene::Camera::Kind::Script) {
                EXPECT_NEAR(blob.bottom, (*foot)[1], 2.0);
                EXPECT_NEAR(blob.top, (*crown)[1], 2.0);
            } else {
                EXPECT_NEAR(blob.meanY, (*foot)[1], 2.0);
            }
        }
    }
}

TEST(RunWindow, RPutsTheCameraBackAfterAZoom) {
    viewer::RunWindow w(onePerson(true));
    showWindow(w, 640, 480);
    QTest::keyClick(&w, Qt::Key_C);
    ASSERT_EQ(w.view().cameraName(), "top-down view");
    auto where = [&] {
        grab(w);  // drawn: the floor's place in the picture is set
        const QImage img = grab(w);
        const auto p = w.view().camera()->project({1.5, 0.0, -2.0}, img.width(), img.height());
        EXPECT_TRUE(p.has_value());
        return p.value_or(std::array<double, 2>{0.0, 0.0});
    };
    const auto before = where();
    const QPointF at(320, 240);
    QWheelEvent wheel(at, w.view().mapToGlobal(at), QPoint(), QPoint(0, 360), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&w.view(), &wheel);
    const auto zoomed = where();
    EXPECT_GT(std::hypot(zoomed[0] - before[0], zoomed[1] - before[1]), 5.0);
    QTest::keyClick(&w, Qt::Key_R);
    const auto reset = where();
    EXPECT_NEAR(reset[0], before[0], 1e-6);
    EXPECT_NEAR(reset[1], before[1], 1e-6);
    EXPECT_EQ(w.view().cameraName(), "top-down view");
}

class LiveRun : public ::testing::Test {
  protected:
    void SetUp() override {
        testsupport::writeFile(dir_ / "s.json", kScenario);
        opt_.scenario = (dir_ / "s.json").string();
        opt_.out = (dir_ / "results").string();
        opt_.quiet = true;
        prep_ = runtime::prepareRun(opt_);
    }
    // Starts the simulation on a worker thread feeding `feed`.
    void start(viewer::LiveFeed& feed) {
        worker_ = std::thread([this, &feed] {
            runtime::RunHooks hooks;
            hooks.sinks = {&feed};
            hooks.keepGoing = [&feed] { return !feed.closed(); };
            status_ = runtime::runPrepared(prep_, opt_, hooks).status;
            done_ = true;
        });
    }
    void TearDown() override {
        if (worker_.joinable()) worker_.join();
    }
    testsupport::TempDir dir_;
    runtime::Options opt_;
    runtime::PreparedRun prep_;
    std::thread worker_;
    std::atomic<bool> done_{false};
    std::atomic<int> status_{-1};
};

TEST_F(LiveRun, PauseStopsTheClockAndSpeedScalesIt) {
    viewer::LiveFeed feed(prep_.meta.exitNames);
    viewer::RunWindow w(feed, {"small room", {}, std::nullopt, false});
    showWindow(w, 640, 480);
    start(feed);
    ASSERT_TRUE(waitFor([&] { return w.shownTime() > 0.2; }, 20.0));
    QTest::keyClick(&w, Qt::Key_Space);
    EXPECT_TRUE(w.clock().paused());
    const double pausedAt = w.shownTime();
    QTest::qWait(300);
    EXPECT_EQ(w.shownTime(), pausedAt);
    // x4, resumed: simulated time runs four times as fast as the wall clock.
    QTest::keyClick(&w, Qt::Key_Plus);
    QTest::keyClick(&w, Qt::Key_Plus);
    EXPECT_EQ(w.clock().label(), "paused (x4)");
    QTest::keyClick(&w, Qt::Key_Space);
    QElapsedTimer wall;
    wall.start();
    const double from = w.shownTime();
    QTest::qWait(400);
    const double ratio = (w.shownTime() - from) / (static_cast<double>(wall.nsecsElapsed()) * 1e-9);
    EXPECT_NEAR(ratio, 4.0, 1.0);
    QTest::keyClick(&w, Qt::Key_Minus);
    EXPECT_EQ(w.clock().label(), "x2");
    // Closing the window lets the run end.
    w.close();
    ASSERT_TRUE(waitFor([&] { return done_.load(); }, 60.0));
}

TEST_F(LiveRun, ARecordingIsShownWhileTheRunGoesOnAndNamedAtItsEnd) {
    viewer::LiveFeed feed(prep_.meta.exitNames);
    viewer::LiveSetup setup{"small room", {}, std::nullopt, false};
    setup.recording = {"movie /tmp/test.avi"};
    viewer::RunWindow w(feed, setup);
    showWindow(w, 640, 480);
    start(feed);
    ASSERT_TRUE(waitFor([&] { return w.shownTime() > 0.2; }, 20.0));
    QTest::qWait(50);
    EXPECT_EQ(w.view().overlay().recording, setup.recording);
    // The red mark of the recording is painted.
    auto red = [&] {
        const QImage img = grab(w);
        int n = 0;
        for (int y = 0; y < img.height() / 2; ++y)
            for (int x = 0; x < img.width() / 2; ++x) {
                const QColor c = img.pixelColor(x, y);
                n += c.red() > 200 && c.green() < 110 && c.blue() < 110;
            }
        return n;
    };
    EXPECT_GT(red(), 10);
    for (int i = 0; i < 12; ++i) w.clock().faster();
    ASSERT_TRUE(waitFor([&] { return done_.load(); }, 60.0));
    w.runEnded({true, 0.0, 0, "results", "", {"movie /tmp/test.avi: 60 frames, 2.5 s"}});
    ASSERT_TRUE(waitFor([&] { return w.atEnd(); }, 10.0));
    QTest::qWait(50);
    // At the end: no mark, and the banner names the recording.
    EXPECT_TRUE(w.view().overlay().recording.empty());
    EXPECT_EQ(w.view().overlay().bannerRecordings,
              std::vector<std::string>{"movie /tmp/test.avi: 60 frames, 2.5 s"});
    EXPECT_EQ(red(), 0);
}

TEST_F(LiveRun, AReplayShowsWhatTheLiveRunShowed) {
    QImage live;
    {
        viewer::LiveFeed feed(prep_.meta.exitNames);
        viewer::RunWindow w(feed, {"small room", {}, std::nullopt, false});
        showWindow(w, 640, 480);
        w.clock().setPaused(true);
        w.clock().setTime(2.0);
        start(feed);
        ASSERT_TRUE(waitFor([&] { return w.shownFrame().time == 2.0; }, 20.0));
        QTest::qWait(50);
        live = grab(w);
        // Then as fast as it computes, to the end.
        for (int i = 0; i < 12; ++i) w.clock().faster();
        w.clock().setPaused(false);
        ASSERT_TRUE(waitFor([&] { return done_.load(); }, 60.0));
        w.runEnded({true, 0.0, 0, "results", ""});
        ASSERT_TRUE(waitFor([&] { return w.atEnd(); }, 10.0));
        // The end shows nobody, at the time the last person left.
        EXPECT_TRUE(w.shownFrame().people.empty());
    }
    EXPECT_EQ(status_.load(), 0);
    viewer::RunWindow r(viewer::loadRecordedRun(dir_ / "results"));
    showWindow(r, 640, 480);
    r.resize(640, 480 + (480 - r.view().height()));  // the same picture size under the slider
    ASSERT_TRUE(waitFor([&] { return r.view().height() == 480; }, 5.0));
    r.clock().setPaused(true);
    r.clock().setTime(2.0);
    ASSERT_TRUE(waitFor([&] { return r.shownFrame().time == 2.0; }, 5.0));
    QTest::qWait(50);
    const QImage replay = grab(r);
    ASSERT_EQ(replay.size(), live.size());
    // The scene (the overlay's title differs): a few pixels of tolerance.
    const QRect scene(live.width() / 4, live.height() / 5, live.width() / 2, 3 * live.height() / 5);
    const Blob changed = difference(live, replay, scene);
    EXPECT_LT(changed.count, scene.width() * scene.height() / 500) << changed.count;
    // And the picture is not empty: people are there at 2 s.
    EXPECT_FALSE(r.shownFrame().people.empty());
}

// mvnrt itself, with its window and headless: the same result files.
TEST_F(LiveRun, ResultFilesAreTheSameWithAndWithoutTheWindow) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
    auto run = [&](const std::string& args, const std::string& env = "") {
        const std::string cmd = "cd '" + dir_.path().string() + "' && " + env +
                                "'" MVNRT_PATH "' --scenario s.json --quiet " + args +
                                " >/dev/null 2>&1";
        const int raw = std::system(cmd.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    };
    // Under LeakSanitizer the windowed mvnrt reports 240 bytes held at exit
    // by a system library its stack cannot be followed into (no frame
    // pointers there); the leak check stays on for every other run.
    ASSERT_EQ(run("--out window --exit-at-end --speed 16", "ASAN_OPTIONS=detect_leaks=0 "), 0);
    ASSERT_EQ(run("--out headless --headless"), 0);
    EXPECT_EQ(testsupport::readFile(dir_ / "window/trajectories.csv"),
              testsupport::readFile(dir_ / "headless/trajectories.csv"));
    auto summary = [&](const char* folder) {
        nlohmann::json j =
            nlohmann::json::parse(testsupport::readFile(dir_ / folder / "summary.json"));
        j.erase("timing");
        return j;
    };
    EXPECT_EQ(summary("window"), summary("headless"));
    EXPECT_TRUE(summary("window").at("everyoneOut").get<bool>());
}

TEST(ErrorBox, AnUnusableProjectIsShownWithItsFileAndLine) {
    testsupport::TempDir dir;
    std::filesystem::create_directories(dir / "bProj" / "Vellico");
    testsupport::writeFile(dir / "bProj" / "Vellico" / "startup.pc",
                           "use constants \"drive_constants\";\r\nnot a script\r\n");
    std::string message;
    {
        testsupport::ScopedCurrentDirectory cd(dir.path());
        try {
            runtime::prepareRun({});
        } catch (const runtime::InputError& e) {
            message = e.what();
        }
    }
    ASSERT_FALSE(message.empty());
    QString shown;
    QTimer::singleShot(100, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        shown = box->text() + "\n" + box->informativeText();
        box->close();
    });
    viewer::showErrorBox(message);
    EXPECT_TRUE(shown.contains("startup.pc: line 2")) << shown.toStdString();
}

}  // namespace
