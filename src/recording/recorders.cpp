#include "recording/recorders.h"

#include <cctype>

#include "platform/output_node.h"
#include "recording/motion_recorder.h"
#include "inputs/project.h"

namespace recording {

std::filesystem::path driveTarget(std::string_view scriptPath,
                                  const std::filesystem::path& resultsFolder, std::string* note) {
    const std::size_t slash = scriptPath.find_last_of("\\/");
    const std::string fileName(slash == std::string_view::npos ? scriptPath
                                                                : scriptPath.substr(slash + 1));
    const bool hasDrive = scriptPath.size() >= 3 && scriptPath[1] == ':' &&
                          ((scriptPath[0] >= 'a' && scriptPath[0] <= 'z') ||
                           (scriptPath[0] >= 'A' && scriptPath[0] <= 'Z'));
#ifdef _WIN32
    if (hasDrive) {
        std::error_code ec;
        const std::filesystem::path root = std::string(scriptPath.substr(0, 2)) + "\\";
        if (std::filesystem::is_directory(root, ec)) return std::filesystem::path(std::string(scriptPath));
    }
#endif
    const std::filesystem::path target = resultsFolder / fileName;
    if (note != nullptr && hasDrive)
        *note = "the script names " + std::string(scriptPath) + "; there is no drive " +
                static_cast<char>(std::toupper(static_cast<unsigned char>(scriptPath[0]))) +
                ": here";
    return target;
}

RecordingPlan planRecordings(const runtime::PreparedRun& prepared, const runtime::Options& options) {
    RecordingPlan plan;
    // The runs of a sweep (each into a fresh folder) leave out what the
    // project's script asks to record: every run would film over the one
    // test.avi, and their folders are put in place only after the run.
    if (options.atomicOut) return plan;
    if (options.movie)
        plan.movie = std::filesystem::path(*options.movie);
    else if (prepared.recordMovie)
        plan.movie = std::filesystem::path(kScriptMovieFile);
    if (options.motion) {
        plan.motion = std::filesystem::path(*options.motion);
    } else if (prepared.recordMotion) {
        plan.motion = driveTarget(kScriptMotionFile, prepared.outDir, &plan.motionNote);
        if (plan.motion->parent_path() == prepared.outDir)
            plan.resultFiles.push_back(plan.motion->filename().string());
    }
    refuseUnwritable(plan);
    return plan;
}

void refuseUnwritable(const RecordingPlan& plan) {
    for (const auto& [path, what] : {std::pair{plan.movie, "the movie"},
                                     std::pair{plan.motion, "the motion recording"}}) {
        if (!path) continue;
        const std::string problem = platform::outputPathProblem(*path, what);
        if (!problem.empty()) throw runtime::InputError(problem);
    }
}

void refuseUnwritableRequests(const runtime::Options& options) {
    RecordingPlan asked;
    if (options.movie) asked.movie = std::filesystem::path(*options.movie);
    if (options.motion) asked.motion = std::filesystem::path(*options.motion);
    refuseUnwritable(asked);
}

std::unique_ptr<runtime::FrameSink> makeMotionRecorder(const RecordingPlan& plan,
                                                       const runtime::PreparedRun& prepared) {
    if (!plan.motion) return nullptr;
    const std::string scene = prepared.meta.name.empty() ? "escape" : prepared.meta.name;
    std::optional<MotionCamera> camera;
    if (prepared.camera)
        camera = MotionCamera{prepared.camera->x, prepared.camera->y, prepared.camera->z,
                              kScriptCameraTurn, kScriptCameraFovY};
    auto recorder = std::make_unique<MotionRecorder>(*plan.motion, scene,
                                                     prepared.meta.unitsPerMetre, plan.motionNote,
                                                     prepared.meta.exitNames, camera);
    recorder->setNotes(prepared.meta.notes);
    return recorder;
}

}  // namespace recording
