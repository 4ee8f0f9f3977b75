// Fuzzes the motion file reader (KVX, what --motion writes and --replay
// reads): any bytes are a motion, whose every coordinate is finite and
// within the bounds of a recording, or a MotionFileError with a short
// message naming the file; nothing crashes or takes runaway memory.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "recording/kvx_motion.h"

namespace {

bool inRange(double v) { return std::isfinite(v) && std::fabs(v) <= recording::kMaxMotionCoordinate; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("fuzz-motion-" + std::to_string(::getpid()) + ".kvx");
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (out == nullptr) return 0;
    std::fwrite(data, 1, size, out);
    std::fclose(out);
    try {
        const recording::Motion m = recording::readMotion(file);
        if (!std::isfinite(m.metresPerUnit) || !(m.frameRate > 0.0) || !std::isfinite(m.frameRate))
            __builtin_trap();
        for (const auto& polygon : m.floor)
            for (const recording::MotionPoint& p : polygon)
                if (!inRange(p.x) || !inRange(p.z)) __builtin_trap();
        for (const recording::MotionFrame& f : m.frames)
            for (const recording::MotionPose& p : f.poses)
                if (!inRange(p.x) || !inRange(p.z)) __builtin_trap();
    } catch (const recording::MotionFileError& e) {
        if (std::string(e.what()).size() > 2000) __builtin_trap();
    }
    std::remove(file.c_str());
    return 0;
}
