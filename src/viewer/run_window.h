#pragma once
// The window of mvnrt: the run played while it is simulated (live) or again
// from its saved results (replay, with a time slider). Keys: Space pauses and
// resumes, + and - change the speed, C switches the camera, Esc closes.

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "viewer/live_feed.h"
#include "viewer/playback_clock.h"
#include "viewer/recorded_run.h"

class QSlider;

namespace viewer {

class SceneView;

struct LiveSetup {
    std::string title;  // the start directory, or the scenario's name
    std::vector<std::string> notes;
    std::optional<scene::Vec3> scriptCamera;  // metres
    bool exitAtEnd = false;
    double speed = 1.0;  // 0: as fast as it computes
    std::vector<std::string> recording{};  // what the run records ("movie test.avi")
};

// How a live run ended, told from the simulation's thread when it is done.
struct RunEnd {
    bool everyoneOut = false;
    double endTime = 0.0;  // the evacuation time when everyone is out
    int stillInside = 0;
    std::string resultsFolder;
    std::string problem;  // why the run or its results failed; empty when all went well
    // Each recording made: "movie test.avi: 198 frames, 8.2 s".
    std::vector<std::string> recordings{};
};

class RunWindow : public QWidget {
    Q_OBJECT
  public:
    RunWindow(LiveFeed& feed, LiveSetup setup);
    explicit RunWindow(RecordedRun run);
    ~RunWindow() override;

    // Live: the simulation has ended (call on the window's thread).
    void runEnded(const RunEnd& end);

    PlaybackClock& clock() { return clock_; }
    SceneView& view() { return *view_; }
    // Simulated time of the frame shown.
    double shownTime() const { return clock_.time(); }
    // The closing banner is up (the run's end is shown).
    bool atEnd() const { return !banner_.empty(); }
    // The frame shown, as drawn.
    const scene::SceneFrame& shownFrame() const { return shown_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void build();
    void tick();
    void showAt(double t);
    void sliderMoved(int value);

    LiveFeed* feed_ = nullptr;  // live only
    std::optional<RecordedRun> replay_;
    LiveSetup setup_;
    bool sceneSet_ = false;
    scene::SceneDescription scene_;
    std::vector<crowd::Role> roles_;
    std::deque<LiveFrame> frames_;
    std::optional<RunEnd> end_;
    PlaybackClock clock_;
    QElapsedTimer wall_;
    QTimer timer_;
    SceneView* view_ = nullptr;
    QSlider* slider_ = nullptr;
    scene::SceneFrame shown_;
    std::string banner_, bannerDetail_;
    std::vector<std::string> bannerRecordings_;
};

}  // namespace viewer
