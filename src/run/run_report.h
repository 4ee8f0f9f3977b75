#pragma once
// What every run measures and reports besides its summary: the density map,
// the exit flows and per person the route, waiting and times
// (measures.json, density.png, floor.png), and report.html, one
// self-contained page with all of it and the scenario.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "run/frame_sink.h"
#include "run/results.h"

namespace runtime {

class RunReport : public FrameSink {
  public:
    RunReport(std::filesystem::path folder, RunMeta meta);
    ~RunReport() override;

    // The files it writes into the results folder.
    static std::vector<std::string> fileNames();

    double frameRate() const override { return 5.0; }
    void begin(const crowd::Simulation& sim) override;
    void frame(const crowd::FrameView& f) override;
    // Writes the files; throws std::runtime_error naming one that could not
    // be written (the others are written anyway).
    void finish(const crowd::Simulation& sim, const RunSummary& summary) override;
    // The names of the files written, for the line that lists the results.
    std::vector<std::string> filesWritten() const { return written_; }
    // Writes into `folder` instead (before finish()).
    void moveTo(std::filesystem::path folder) { folder_ = std::move(folder); }

  private:
    struct State;
    std::unique_ptr<State> state_;
    std::filesystem::path folder_;
    RunMeta meta_;
    std::vector<std::string> written_;
};

}  // namespace runtime
