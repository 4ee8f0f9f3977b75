// escape-build: the command-line front end of the project generator. It
// fills the same scenario record as the dialog's build commands and runs the
// same build.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <limits>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "cad/kvx_floor.h"
#include "cli/command_line.h"
#include "scenario/build_record.h"
#include "scenario/build_request.h"
#include "floorplan/floor_reader.h"
#include "generator/generated_texts.h"
#include "generator/project_builder.h"
#include "platform/command_line.h"
#include "platform/platform.h"
#include "platform/safe_input.h"
#include "platform/safe_output.h"
#include "projectformat/project_files.h"
#include "projectformat/startup_script_format.h"
#include "floorplan/floor_fit.h"
#include "floorplan/floor_units.h"
#include "floorplan/floor_check.h"
#include "platform/number_text.h"
#include "projectformat/project_files.h"
#include "scenario/scenario_settings.h"

namespace {

constexpr int kDefaultCount = 5;

// escape-build's exit statuses (docs/user-guide.md), chosen here and
// nowhere else: 0 when every file was written, 1 when some could not be (or
// the runtime could not be started), 2 for bad input, with nothing written.
constexpr int kStatusNotAllWritten = 1;
constexpr int kStatusBadInput = 2;

int badInput(const std::string& message) {
    std::cerr << platform::usageErrorLine("escape-build", message) << "\n";
    return kStatusBadInput;
}

std::vector<scenario::Placed> placed(const std::vector<scenario::Placement>& placements) {
    std::vector<scenario::Placed> out;
    for (const auto& p : placements) out.push_back({p.first, p.second, !p.inViewUnits});
    return out;
}

scenario::BuildCommand commandFor(const std::string& record) {
    if (record == "kvx") return scenario::BuildCommand::CreateKvx;
    if (record == "avi") return scenario::BuildCommand::CreateAvi;
    return scenario::BuildCommand::RunMorvanta;
}

// --floor-from-dxf: the plan's outline written as a KVX floor, nothing built.
int writeFloorFromDxf(const cli::FloorFromDxf& request) {
    try {
        const cad::Outline o = cad::writeKvxFloor(request.plan, request.layer, request.unit,
                                                  request.output);
        for (const std::string& note : o.notes)
            std::cerr << "escape-build: warning: " << platform::capped(note, 1000) << "\n";
        std::cout << "escape-build: floor written to " << platform::capped(request.output, 300)
                  << ": " << cad::floorSummary(o) << "\n";
        return 0;
    } catch (const platform::InputError& e) {
        return badInput(e.what());
    } catch (const platform::OutputError& e) {
        std::cerr << "escape-build: cannot write " << platform::capped(request.output, 300) << ": "
                  << platform::capped(e.what(), 1000) << "\n";
        return kStatusNotAllWritten;
    }
}

int runMain(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    scenario::BuildRequest request;
    try {
        const cli::CommandLine line = cli::parseCommandLine(arguments);
        request = line.build;
        if (request.help) {
            std::cout << cli::usageText();
            return 0;
        }
        if (line.floorFromDxf) return writeFloorFromDxf(*line.floorFromDxf);
        if (request.scenarioFile) {
            request = scenario::merge(scenario::readScenarioFile(*request.scenarioFile), request);
        }
    } catch (const platform::InputError& e) {
        return badInput(e.what());
    }

    // The start directory, held whole and absolute. It is made current, as the
    // dialog keeps it: the floor reader takes relative floor paths, and its
    // basic floor, from the current directory.
    namespace fs = std::filesystem;
    const std::string directoryText = request.directory.value_or(".");
    std::error_code ec;
    fs::path directory = fs::absolute(platform::nativePath(directoryText), ec);
    if (ec || !fs::is_directory(directory, ec)) {
        return badInput("--dir: '" + directoryText + "' is not a directory");
    }
    directory = directory.lexically_normal();
    std::string startDirectory = directory.string();
    if (startDirectory.size() > 1 &&
        (startDirectory.back() == '/' || startDirectory.back() == '\\')) {
        startDirectory.pop_back();
    }
    if (!platform::setCurrentDirectory(startDirectory)) {
        return badInput("--dir: cannot enter '" + directoryText + "': " + std::strerror(errno));
    }

    // The floor: a chosen file must be readable; the basic floor beside the
    // templates is handled like a template (missing: an empty copy, exit 1).
    const std::string floorPath = request.floor.value_or(floorplan::kBasicFloorPath);
    try {
        if (request.floor) scenario::checkFloorFile(floorPath, std::string(), "--floor");
    } catch (const platform::InputError& e) {
        return badInput(e.what());
    }
    // Read the floor as the dialog's view does: relative paths resolve against
    // the start directory, which is current, and a file without a usable mesh
    // gives way to the basic floor. The project then gets the floor the view
    // would show, so the dialog and escape-build build the same tree.
    floorplan::FloorMeshReader reader;
    floorplan::OutlineCollector outline;
    const floorplan::LoadReport floorReport = reader.setFloorPath(floorPath, outline);
    if (floorReport.outcome != floorplan::LoadOutcome::Loaded) {
        std::cerr << "escape-build: warning: " << platform::capped(floorReport.reason, 1000)
                  << (floorReport.outcome == floorplan::LoadOutcome::FellBack
                          ? "; the basic floor is used instead\n"
                          : "; the basic floor has no usable mesh either\n");
    }
    // The tree is written as asked either way; the runtime's own check says
    // whether it can simulate the floor.
    // The floor's unit as the runtime reads it: its Units line, else decimetres.
    double metresPerUnit = 1.0 / projectformat::kWorldUnitsPerMetre;
    bool unitsStated = false;
    try {
        if (const auto stated =
                floorplan::statedMetresPerUnitOfFile(platform::nativePath(reader.floorPath))) {
            metresPerUnit = *stated;
            unitsStated = true;
        }
    } catch (const std::invalid_argument& e) {
        std::cerr << "escape-build: warning: " << platform::capped(reader.floorPath) << ": "
                  << e.what() << "\n";
    }
    const crowd::FloorOutlineCheck floorCheck =
        floorplan::checkProjectFloor(outline.vertices, metresPerUnit);
    const std::string floorWarning =
        floorReport.outcome == floorplan::LoadOutcome::NoFloor ? std::string() : floorCheck.warning();
    if (!floorWarning.empty()) std::cerr << "escape-build: warning: " << floorWarning << "\n";
    // Whether the people can stand on it, as the runtime will check it.
    if (floorReport.outcome == floorplan::LoadOutcome::Loaded && floorCheck.problem.empty()) {
        const int people = 2 * request.pairs.value_or(kDefaultCount) +
                           request.adults.value_or(kDefaultCount) +
                           request.children.value_or(kDefaultCount);
        const floorplan::FloorFit fit =
            floorplan::checkFloorFit(floorCheck.walkable, unitsStated, people);
        const std::filesystem::path named = platform::nativePath(floorPath);
        if (!fit.fits)
            std::cerr << "escape-build: warning: the runtime will refuse this start: "
                      << floorplan::noRoomText(named, fit, unitsStated, metresPerUnit) << "\n";
        else if (fit.looksLikeMetres)
            std::cerr << "escape-build: warning: " << floorplan::smallFloorText(named, fit) << "\n";
    }
    const float scale = request.scale ? *request.scale : reader.scale;
    try {
        // The same checks as the dialog's "Open scenario" (the floor again:
        // it was needed before its scale).
        scenario::checkScenario(request, std::string(), scale, "--floor");
    } catch (const platform::InputError& e) {
        return badInput(e.what());
    }

    const std::string record = request.record.value_or("none");
    scenario::ScenarioInput input;
    input.pairCount = request.pairs.value_or(kDefaultCount);
    input.adultCount = request.adults.value_or(kDefaultCount);
    input.childCount = request.children.value_or(kDefaultCount);
    input.command = commandFor(record);
    input.exits = placed(request.exits.value_or(std::vector<scenario::Placement>{}));
    input.clusters = placed(request.clusters.value_or(std::vector<scenario::Placement>{}));
    input.scale = scale;
    input.floorPath = reader.floorPath;
    input.startDirectory = startDirectory;
    const scenario::ScenarioSettings settings = scenario::makeScenarioSettings(input);

    const auto failures = generator::buildProject(settings, directory).failures;
    const auto layout = generator::layoutPeople(settings.pairCount, settings.adultCount,
                                                settings.childCount, settings.clusterCount);
    const std::string tree = (directory / projectformat::kProjectFolder).string();
    const std::size_t fileCount = projectformat::projectFiles().size();

    // Success is claimed only for a complete tree.
    if (failures.empty())
        std::cout << "escape-build: project written to " << tree << " (" << fileCount << " files)\n";
    else
        std::cout << "escape-build: the project in " << tree << " is incomplete (" << fileCount
                  << " files expected; what failed is listed below)\n";
    std::cout << "  people: " << layout.total << " (" << settings.pairCount << " pairs, "
              << settings.adultCount << " adults, " << settings.childCount << " children)\n"
              << "  clusters used: " << layout.used << " of " << settings.clusterCount
              << " placed; scattered people: " << layout.scattered << "\n"
              << "  exits: " << settings.exitCount << "; floor: "
              << (floorReport.outcome == floorplan::LoadOutcome::Loaded
                      ? floorPath
                      : floorplan::kBasicFloorPath)
              << " (scale " << projectformat::formatReal(scale) << "); recording: " << record << "\n";

    // The scenario of this build beside the tree, for the runtime's roles
    // and messages (cli/build_record.h).
    scenario::BuildRequest built = request;
    built.pairs = settings.pairCount;
    built.adults = settings.adultCount;
    built.children = settings.childCount;
    built.record = record;
    if (floorReport.outcome != floorplan::LoadOutcome::Loaded) built.floor.reset();
    const std::string recordProblem = scenario::writeBuildRecord(directory, built);
    if (!recordProblem.empty())
        std::cerr << "escape-build: warning: the scenario record beside the project could not be "
                     "written (the runtime will give the script's roles): "
                  << platform::capped(recordProblem, 1000) << "\n";
    else
        std::cout << "  scenario record: " << scenario::buildRecordPath(directory).string() << "\n";

    int status = 0;
    if (!failures.empty()) {
        std::cerr << "escape-build: " << failures.size()
                  << (failures.size() == 1 ? " step" : " steps")
                  << " of the build did not complete; everything else was written:\n";
        for (const auto& f : failures) std::cerr << "  " << f.path << ": " << f.reason() << "\n";
        status = kStatusNotAllWritten;
    }

    if (request.launch) {
        const auto launched = platform::startRuntime(startDirectory);
        if (!launched.started) {
            std::cerr << "escape-build: could not start the runtime " << launched.program << ": "
                      << launched.error << "\n";
            status = kStatusNotAllWritten;
        } else {
            std::cout << "escape-build: started " << launched.program << "\n";
        }
    }
    return status;
}

}  // namespace

// Whatever escapes the build ends here with one capped message: bad input
// with its status, anything else with status 1.
int main(int argc, char** argv) {
    auto fail = [](std::string_view what) {
        std::cerr << "escape-build: " << platform::capped(what, 1000) << "\n";
        return kStatusNotAllWritten;
    };
    try {
        return runMain(argc, argv);
    } catch (const platform::InputError& e) {
        return badInput(e.what());
    } catch (const std::bad_alloc&) {
        return fail("out of memory");
    } catch (const std::exception& e) {
        return fail(e.what());
    } catch (...) {
        return fail("stopped by an unknown error");
    }
}
