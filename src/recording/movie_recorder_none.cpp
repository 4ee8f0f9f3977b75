// Built without Qt and the scene renderer: a movie asked for is reported as
// not made, and the run goes on.
#include <stdexcept>

#include "platform/safe_output.h"
#include "recording/recorders.h"

namespace recording {

namespace {

class NoMovie : public runtime::FrameSink {
  public:
    explicit NoMovie(std::filesystem::path target) : target_(std::move(target)) {}
    double frameRate() const override { return 0.0; }
    void frame(const crowd::FrameView&) override {}
    void finish(const crowd::Simulation&, const runtime::RunSummary&) override {
        throw std::runtime_error(platform::capped(target_.string()) +
                                 ": no movie: this mvnrt was built without the scene renderer");
    }

  private:
    std::filesystem::path target_;
};

}  // namespace

std::unique_ptr<runtime::FrameSink> makeMovieRecorder(const RecordingPlan& plan,
                                                      const runtime::PreparedRun& /*prepared*/,
                                                      const runtime::Options& /*options*/) {
    if (!plan.movie) return nullptr;
    return std::make_unique<NoMovie>(*plan.movie);
}

}  // namespace recording
