#pragma once
// Something that takes the frames of a run while it is simulated: the
// trajectory file, a recording, the live window, a density map. The run hands
// every sink its frames at the sink's own rate of simulated time; sinks never
// change the simulation.

#include <string>
#include <vector>

#include "crowd/runner.h"
#include "crowd/simulation.h"
#include "run/results.h"

namespace runtime {

class FrameSink {
  public:
    virtual ~FrameSink() = default;
    // Frames per simulated second this sink wants; 0 for none (begin and
    // finish only).
    virtual double frameRate() const = 0;
    // Before the first step.
    virtual void begin(const crowd::Simulation& /*sim*/) {}
    // Positions at f.time of everyone inside then, interpolated between steps.
    virtual void frame(const crowd::FrameView& f) = 0;
    // After the run. Throws std::runtime_error naming the file when what the
    // sink writes cannot be completed; the other results are written anyway.
    virtual void finish(const crowd::Simulation& /*sim*/, const RunSummary& /*summary*/) {}
    // What the sink wrote, one line each for the report ("test.avi: 2,345
    // frames, 97.7 s"); empty when it wrote nothing.
    virtual std::vector<std::string> written() const { return {}; }
    // The recordings among what it wrote, for summary.json and the report.
    virtual std::vector<Recording> recordings() const { return {}; }
    // What a recording sink records while the run goes on ("movie
    // test.avi"), for the window's indicator; empty for other sinks.
    virtual std::string recordingTarget() const { return {}; }
};

}  // namespace runtime
