// Built without Qt: no picture.
#include "run/plot.h"

namespace runtime {

bool drawsPlots() { return false; }

std::string drawEvacuationPlot(const PlotData&, const std::filesystem::path&) {
    return "this mvnrt was built without Qt, so it draws no plot";
}

}  // namespace runtime
