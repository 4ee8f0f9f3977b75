#include "run/prepare.h"

#include <string>
#include <system_error>
#include <utility>

#include "crowd/setup_limits.h"
#include "platform/safe_output.h"
#include "inputs/pre_movement.h"
#include "inputs/project.h"
#include "inputs/scenario_file.h"
#include "projectformat/project_files.h"

namespace runtime {

namespace {

constexpr std::uint64_t kDefaultSeed = 1;

std::filesystem::path defaultOut(const char* relative) {
    return std::filesystem::path(relative).make_preferred();
}

void prepareScenario(const Options& opt, PreparedRun& p, const std::string* text) {
    ScenarioFile f = text ? parseScenario(*text, opt.seed,
                                          std::filesystem::path(*opt.scenario).parent_path())
                          : loadScenario(*opt.scenario, opt.seed);
    if (f.name.empty()) f.name = *opt.scenario;
    p.setup = std::move(f.setup);
    p.meta.mode = std::string("scenario");
    p.meta.source = *opt.scenario;
    p.meta.name = f.name;
    p.meta.seed = f.seed;
    p.meta.exitNames = f.exitNames;
    p.meta.unitsPerMetre = 1.0;
    p.meta.unitName = std::string("m");
    p.outDir = opt.out ? std::filesystem::path(*opt.out) : defaultResultsRoot(opt);
}

void prepareProject(const Options& opt, PreparedRun& p) {
    // A working directory that was deleted has no path; "." still names it.
    std::error_code ec;
    std::filesystem::path here =
        opt.project ? std::filesystem::path(*opt.project) : std::filesystem::current_path(ec);
    const ProjectData data = readProject(ec ? std::filesystem::path(".") : here);
    p.meta.seed = opt.seed.value_or(kDefaultSeed);
    ProjectSetup ps = buildProjectSetup(data, p.meta.seed);
    p.setup = std::move(ps.setup);
    p.meta.mode = std::string("project");
    p.meta.source = std::string(projectformat::kProjectFolder);
    // Runs are told apart by the directory the project was built in.
    std::filesystem::path start = std::filesystem::absolute(here, ec).lexically_normal();
    if (!start.has_filename()) start = start.parent_path();  // "dir/" or "."
    const std::string startName = start.filename().string();
    p.meta.name = startName.empty() ? std::string(projectformat::kProjectFolder) : startName;
    p.meta.exitNames = ps.exitNames;
    p.meta.unitsPerMetre = projectformat::kWorldUnitsPerMetre;
    p.meta.unitName = std::string("dm");
    p.meta.warnings = ps.warnings;
    p.meta.roleRule = ps.roleRule;
    p.meta.rolesTyped = data.record.typed.has_value();
    for (const std::string& place : ps.exitPlaces) p.meta.notes.push_back(place);
    for (const std::string& place : ps.clusterPlaces) p.meta.notes.push_back(place);
    if (ps.movedPeople > 0)
        p.meta.notes.push_back(std::to_string(ps.movedPeople) +
                               " people started at the nearest free spot of the floor instead "
                               "of where the script put them");
    if (ps.squeeze < 1.0)
        p.meta.notes.push_back(
            "the floor is too small for everyone standing apart: the last people were squeezed "
            "in, bodies overlapping by up to " +
            fixed(100.0 * (1.0 - ps.squeeze), 0) + " %");
    if (ps.outlineRepaired)
        p.meta.notes.push_back(
            "the floor outline crosses itself; its convex hull is used as the floor");
    p.recordMotion = data.script.recordKvx();
    p.recordMovie = data.script.recordAvi();
    p.camera = ScriptCamera{data.script.cameraX, data.script.cameraY, data.script.cameraZ};
    p.outDir = opt.out ? std::filesystem::path(*opt.out) : defaultResultsRoot(opt);
}

}  // namespace

std::filesystem::path defaultResultsRoot(const Options& opt) {
    if (opt.scenario) return defaultOut("results");
    const std::string results = std::string(projectformat::kProjectFolder) + "/results";
    return opt.project ? std::filesystem::path(*opt.project) / defaultOut(results.c_str())
                       : defaultOut(results.c_str());
}

PreparedRun prepareRun(const Options& opt) { return prepareRun(opt, nullptr); }

PreparedRun prepareRun(const Options& opt, const std::string* scenarioText) {
    PreparedRun p;
    if (opt.scenario)
        prepareScenario(opt, p, scenarioText);
    else
        prepareProject(opt, p);
    if (opt.preMovement) {
        // A problem of these times is the option's, not the scenario's.
        try {
            const PreMovement d = parsePreMovement(*opt.preMovement);
            drawPreMovements(p.setup.people, std::vector<PreMovement>(p.setup.people.size(), d),
                             p.meta.seed);
        } catch (const std::invalid_argument& e) {
            const std::string what = e.what();
            throw InputError(what.rfind("--pre-movement", 0) == 0
                                 ? what
                                 : "--pre-movement " + platform::capped(*opt.preMovement, 80) +
                                       ": " + what);
        }
        const PreMovement d = parsePreMovement(*opt.preMovement);
        p.meta.notes.push_back("pre-movement for everyone: " + d.text());
    }
    if (opt.timeLimit) p.setup.timeLimit = *opt.timeLimit;
    p.setup.threads = opt.threads;
    p.meta.timeLimit = p.setup.timeLimit;
    if (const auto problem = crowd::setupProblem(p.setup)) {
        const std::string& m = problem->member;
        // Named by the option the value came from, else by the input file.
        std::string from = platform::capped(p.meta.source);
        if (opt.preMovement && m.size() >= 12 && m.compare(m.size() - 12, 12, ".preMovement") == 0)
            from = "--pre-movement " + platform::capped(*opt.preMovement, 80);
        else if (opt.timeLimit && m == "timeLimit")
            from = "--time-limit";
        throw InputError(from + ": " + problem->member + ": " + problem->message);
    }
    return p;
}

}  // namespace runtime
