#include "cli/command_line.h"

#include <algorithm>

#include "cad/kvx_floor.h"
#include "platform/command_line.h"
#include "platform/safe_output.h"

namespace cli {

using platform::usageError;
using scenario::BuildRequest;
using scenario::Placement;
using scenario::addPlacement;
using scenario::parseCount;
using scenario::parsePlacement;
using scenario::parseRecord;
using scenario::parseScale;

namespace {

// The options escape-build knows, and whether each takes a value.
const std::vector<platform::KnownOption>& knownOptions() {
    static const std::vector<platform::KnownOption> known = {
        {"--help,-h", false}, {"--launch", false}, {"--dir"},       {"--pairs"},
        {"--adults"},         {"--children"},      {"--record"},    {"--exit"},
        {"--cluster"},        {"--view-exit"},     {"--view-cluster"}, {"--floor"},
        {"--scale"},          {"--scenario"},      {"--floor-from-dxf"}, {"--layer"},
        {"--unit"},
    };
    return known;
}

// The options of the DXF mode alone.
bool isDxfOption(const std::string& option) {
    return option == "--floor-from-dxf" || option == "--layer" || option == "--unit";
}

std::string inQuotes(const std::string& text) { return "'" + platform::capped(text, 200) + "'"; }

// --floor-from-dxf with its --layer and --unit and the one operand, the
// floor to write. The options of a build do not go with it.
CommandLine parseFloorFromDxf(const platform::SplitArguments& split) {
    CommandLine line;
    FloorFromDxf request;
    std::optional<std::string> plan, layer, unit;
    auto bad = [](const std::string& what) { return usageError("--floor-from-dxf: " + what); };
    for (const platform::GivenOption& given : split.options) {
        std::optional<std::string>* slot = nullptr;
        if (given.name == "--help") line.build.help = true;
        else if (given.name == "--floor-from-dxf") slot = &plan;
        else if (given.name == "--layer") slot = &layer;
        else if (given.name == "--unit") slot = &unit;
        else throw bad(inQuotes(given.name) + " does not go with it (only --layer and --unit do)");
        if (slot == nullptr) continue;
        if (*slot) throw bad(given.name + " is given twice");
        *slot = given.value;
    }
    if (line.build.help) return line;
    if (plan->empty()) throw bad("name the DXF plan");
    if (split.operands.empty()) throw bad("name the KVX floor to write (OUT.kvx)");
    if (split.operands.size() > 1)
        throw bad("one output file only (" + inQuotes(split.operands[0]) + ", then " +
                  inQuotes(split.operands[1]) + ")");
    if (split.operands.front().empty()) throw bad("name the KVX floor to write (OUT.kvx)");
    request.plan = *plan;
    request.output = split.operands.front();
    request.layer = layer.value_or(cad::kDefaultFloorLayer);
    if (request.layer.empty()) throw bad("--layer needs a layer's name");
    if (unit) {
        request.unit = cad::unitFromName(*unit);
        if (!request.unit)
            throw bad("--unit " + inQuotes(*unit) + " is not a unit (" + cad::unitChoices() + ")");
    }
    line.floorFromDxf = request;
    return line;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    const platform::SplitArguments split =
        platform::splitCommandLineWithOperands(knownOptions(), arguments);
    const bool dxfMode = std::any_of(split.options.begin(), split.options.end(),
                                     [](const auto& o) { return o.name == "--floor-from-dxf"; });
    if (dxfMode) return parseFloorFromDxf(split);
    // A build takes no operands, and --layer and --unit only go with the DXF mode.
    if (!split.operands.empty())
        throw usageError("unexpected argument " + inQuotes(split.operands.front()));
    for (const platform::GivenOption& given : split.options)
        if (isDxfOption(given.name))
            throw usageError(given.name + " goes only with --floor-from-dxf");

    CommandLine line;
    BuildRequest& request = line.build;
    std::vector<Placement> exits;
    std::vector<Placement> clusters;
    bool exitsGiven = false;
    bool clustersGiven = false;

    for (const platform::GivenOption& given : split.options) {
        const std::string& option = given.name;
        const std::string& value = given.value;
        if (option == "--help") {
            request.help = true;
        } else if (option == "--launch") {
            request.launch = true;
        } else if (option == "--dir") {
            if (value.empty()) throw usageError("--dir: the directory name is empty");
            request.directory = value;
        } else if (option == "--pairs") {
            request.pairs = parseCount(option, value);
        } else if (option == "--adults") {
            request.adults = parseCount(option, value);
        } else if (option == "--children") {
            request.children = parseCount(option, value);
        } else if (option == "--record") {
            request.record = parseRecord(option, value);
        } else if (option == "--exit" || option == "--view-exit") {
            exitsGiven = true;
            addPlacement(exits, parsePlacement(option, value, option == "--view-exit"), option,
                         value, true);
        } else if (option == "--cluster" || option == "--view-cluster") {
            clustersGiven = true;
            addPlacement(clusters, parsePlacement(option, value, option == "--view-cluster"),
                         option, value, false);
        } else if (option == "--floor") {
            if (value.empty()) throw usageError("--floor: the file name is empty");
            request.floor = value;
        } else if (option == "--scale") {
            request.scale = parseScale(option, value);
        } else if (option == "--scenario") {
            request.scenarioFile = value;
        }
    }
    if (exitsGiven) request.exits = exits;
    if (clustersGiven) request.clusters = clusters;
    return line;
}


std::string usageText() {
    return R"(Usage: escape-build [OPTION]...
Writes the project tree bProj for the crowd-simulation runtime, as the dialog's
build commands do, without a display. An option with a value takes it as
--option VALUE or --option=VALUE.

Where:
  --dir DIR            start directory (default: the current directory): the
                       templates are read from DIR/unchanged, the project is
                       written to DIR/bProj

Who and what is recorded:
  --pairs N            mother-and-child pairs, 0 to 99 (default 5)
  --adults N           additional adults, 0 to 99 (default 5)
  --children N         additional children, 0 to 99 (default 5)
  --record WHAT        none (Run Morvanta, default), kvx (Create KVX) or
                       avi (Create AVI)

Exits and clusters:
  --exit=X,Z           an exit at world position (X, Z); at most 2 exits
  --view-exit=VX,VY    an exit in view units (-1 to 1, y downward), converted
                       with the floor's scale
  --cluster=X,Z        a group of ten people around world position (X, Z);
                       at most 40 clusters
  --view-cluster=VX,VY a cluster in view units

The floor:
  --floor PATH         the floor scene file (default: the basic floor
                       unchanged\floor.kvx); a relative path is taken from DIR
  --scale S            the floor's scale (default: as the floor reader finds
                       it in the floor file); its integer part places the camera

A scenario file, and after the build:
  --scenario FILE      read the scenario from a JSON object with the keys
                       pairs, adults, children, record, exits and clusters
                       ([[x, z], ...]), viewExits and viewClusters
                       ([[vx, vy], ...]), floor, scale; options on the
                       command line override it
  --launch             start the runtime afterwards (MORVANTA_RUNTIME names
                       another program)
  --help               show this text

A floor from a DXF plan, instead of a build:
  escape-build --floor-from-dxf PLAN.dxf [--layer NAME] [--unit U] OUT.kvx
  --floor-from-dxf PLAN.dxf
                       write the outline of a layer of the DXF plan as a KVX
                       floor in metres to OUT.kvx (nothing else is built)
  --layer NAME         the layer whose outline is the floor (default WALLS)
  --unit U             the drawing's unit: in, ft, mm, cm or m (default: as
                       its $INSUNITS states it)

Exits and clusters keep their order: --exit and --view-exit (or
--cluster and --view-cluster) may be mixed; given on the command line, they
replace those of the scenario file.

Exit status: 0 when every file was written; 1 when a file could not be
written, a template or the floor file was missing, or the runtime could not
be started (everything else is still written); 2 for bad input, in which case
nothing is written. With --floor-from-dxf: 0 when the floor was written, 1
when it could not be, 2 for a plan or options that cannot be used (nothing
written).
)";
}

}  // namespace cli
