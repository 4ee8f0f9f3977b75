#pragma once
// Films a run: each frame drawn offscreen by the scene renderer (Mesa's
// surfaceless EGL, no display needed) from the project's script camera, or
// from above for a scenario, with the overlay burnt in (time, people inside,
// people out by each exit), and encoded into an AVI movie at 24 frames per
// simulated second.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "recording/movie_encoder.h"
#include "run/frame_sink.h"
#include "scene/camera.h"

namespace recording {

struct MovieSetup {
    std::filesystem::path target;
    MovieFormat format;
    std::string title;  // shown in the overlay
    std::vector<std::string> exitNames;
    std::vector<std::string> notes;
    std::optional<scene::Vec3> scriptCamera;  // metres; none: the top-down view
};

class MovieRecorder : public runtime::FrameSink {
  public:
    explicit MovieRecorder(MovieSetup setup);
    ~MovieRecorder() override;

    double frameRate() const override;
    // Sets up the offscreen OpenGL context; when there is none, the run goes
    // on and finish() reports why no movie was made.
    void begin(const crowd::Simulation& sim) override;
    void frame(const crowd::FrameView& f) override;
    void finish(const crowd::Simulation& sim, const runtime::RunSummary& summary) override;
    std::vector<std::string> written() const override;
    std::vector<runtime::Recording> recordings() const override;
    std::string recordingTarget() const override;

    // Wall-clock seconds spent drawing (scene and overlay, read back) and, on
    // the encoder's thread, converting and encoding.
    double renderingSeconds() const;
    double encodingSeconds() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace recording
