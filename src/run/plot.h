#pragma once
// The evacuation plot: people still inside against time, one curve per exit.

#include <filesystem>
#include <string>

#include "run/results.h"

namespace runtime {

// False when this mvnrt was built without the drawing library.
bool drawsPlots();

// Draws `data` into a PNG file (written whole or not at all). Returns an
// empty string on success, else why the picture was not made.
std::string drawEvacuationPlot(const PlotData& data, const std::filesystem::path& png);

}  // namespace runtime
