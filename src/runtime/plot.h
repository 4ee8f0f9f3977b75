#pragma once
// The evacuation plot: people still inside against time, one curve per exit.

#include <filesystem>
#include <string>

#include "runtime/results.h"

namespace runtime {

// Draws `data` into a PNG file. Returns an empty string on success, else why
// the picture was not made.
std::string drawEvacuationPlot(const PlotData& data, const std::filesystem::path& png);

}  // namespace runtime
