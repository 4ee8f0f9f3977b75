#pragma once
// What a run leaves behind: the report on stdout, summary.json and
// trajectories.csv, and the figures for the evacuation plot.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "crowd/runner.h"
#include "crowd/simulation.h"

namespace platform {
class AtomicFile;
}

namespace runtime {

struct RunMeta {
    std::string mode;    // "project" or "scenario"
    std::string source;  // the project folder or the scenario file
    std::string name;
    std::uint64_t seed = 1;
    double timeLimit = 3600.0;
    // The world units of what was read (every output is in metres): 10 per
    // metre for projects (decimetres), 1 for scenarios.
    double unitsPerMetre = 1.0;
    std::string unitName = "m";
    std::vector<std::string> exitNames;
    std::vector<std::string> notes;  // said in the report and kept in the summary
    // Said before the notes, as warnings: what may make the results wrong
    // (a floor that looks drawn in other units).
    std::vector<std::string> warnings;
    // Which rule gave the people their roles (projects; roles.h).
    std::string roleRule;
    bool rolesTyped = false;  // as typed (the build's record), not the script's rule
};

// A recording written during the run (a movie, a motion file).
struct Recording {
    std::string kind;  // "movie" or "motion"
    std::string file;  // where it went
    int frames = 0;
    double seconds = 0.0;  // its length when played: frames / frame rate
    std::string note;      // why it is not where the project asked, say; may be empty
};

// "movie test.avi: 3381 frames, 140.9 s (note)", for the report.
std::string recordingLine(const Recording& r);

struct RunSummary {
    int people = 0;
    bool everyoneOut = false;
    double evacuationTime = 0.0;  // time the last person left; end of the run when not everyone did
    std::vector<int> outByExit;
    std::vector<int> stillInside;
    double simulatedSeconds = 0.0;
    double wallSeconds = 0.0;
    double ratio = 0.0;  // simulated time per wall-clock time
    std::uint64_t steps = 0;
    std::vector<Recording> recordings;
    // The user stopped the run (closed its window) before everyone was out
    // and before the time limit: no evacuation time, only where it stopped.
    bool stoppedByUser = false;
    // The simulated time the user stopped it at, as the picture showed it
    // (the simulation, whose state the results hold, may be ahead by the
    // window's queue: simulatedSeconds).
    double stoppedAt = 0.0;
    std::string folder;  // where its results were written
};

// "Stopped by the user at 2.00 s of simulated time (...), with 66 people
// still inside: this run gives no evacuation time", said the same way
// everywhere.
std::string stoppedText(const RunSummary& summary);

RunSummary summarize(const crowd::Simulation& sim, const crowd::RunResult& result);

// Locale-independent fixed-point text of a number.
std::string fixed(double value, int decimals);

std::string reportText(const RunMeta& meta, const RunSummary& summary,
                       const crowd::Simulation& sim);

// summary.json (written whole or not at all): every figure of the report, the model's parameters, and per
// person the role, start, desired speed, exits and time of leaving. Wall-clock
// figures stand under "timing"; everything else is the same for the same
// input and seed. Lengths are metres, in keys ending in "_m" ("start_m",
// "walkable_m"); the project's world units are stated once, under "units".
void writeSummaryJson(const std::filesystem::path& file, const RunMeta& meta,
                      const RunSummary& summary, const crowd::Simulation& sim);

// trajectories.csv: "time_s,person,x_m,z_m", one row per person inside per
// frame, in metres. Written to a temporary file that replaces the file only
// when complete (platform::AtomicFile).
inline constexpr const char* kTrajectoryColumns = "time_s,person,x_m,z_m";
class TrajectoryWriter {
  public:
    explicit TrajectoryWriter(const std::filesystem::path& file);
    ~TrajectoryWriter();
    TrajectoryWriter(const TrajectoryWriter&) = delete;
    TrajectoryWriter& operator=(const TrajectoryWriter&) = delete;
    void frame(const crowd::FrameView& f);
    void close();  // throws std::runtime_error when the file could not be written
    bool ok() const;

  private:
    void flush();
    std::unique_ptr<platform::AtomicFile> file_;
    std::string buffer_;
};

// The curves of the evacuation plot: the people still inside, in total and
// per exit (those who leave by it, or head for it while still inside at the
// end), as step functions of time. The legend tells the same numbers under
// the same names as the report's "Out by exit".
struct PlotSeries {
    std::string name;
    std::string legend;  // e.g. "exit 1: 24 out" or "everyone: 40 people, 38 out
    std::vector<std::pair<double, int>> points;  // (time, count) at each change, starting at 0
};

struct PlotData {
    std::string title;
    double endTime = 0.0;
    int total = 0;
    std::vector<PlotSeries> series;  // the total first, then one per exit
};

PlotData plotData(const RunMeta& meta, const crowd::Simulation& sim, double endTime);

}  // namespace runtime
