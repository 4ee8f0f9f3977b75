#include "inputs/project.h"
#include "platform/number_text.h"

#include <algorithm>
#include <cmath>

#include "crowd/floor_outline.h"
#include "crowd/geometry.h"
#include "crowd/placement.h"
#include "crowd/rng.h"
#include "floorplan/floor_reader.h"
#include "platform/safe_input.h"
#include "projectformat/project_files.h"
#include "projectformat/startup_script_format.h"
#include "inputs/exit_intent.h"
#include "floorplan/floor_check.h"
#include "floorplan/floor_fit.h"
#include "floorplan/floor_units.h"

namespace runtime {

namespace {

namespace script = projectformat::script;
using projectformat::Content;

constexpr double kMinClearance = 0.5;
// The script's people-sized distances (cluster ring, scatter square) are
// decimetres whatever the floor's unit.
constexpr double kScriptMetresPerUnit = 1.0 / projectformat::kWorldUnitsPerMetre;
// Row 88, SetLeaderFollower(pfd1, pfd2, v0, 2): the parent keeps 2 units
// behind its child along v0 = (0, 0, 1).
constexpr double kFollowerOffset = 2.0;  // world units


// The startup script is a few kilobytes; anything far larger is not one.
constexpr std::uint64_t kMaxScriptBytes = 4u << 20;

std::string readWhole(const std::filesystem::path& file) {
    try {
        return platform::readRegularFile(file, kMaxScriptBytes);
    } catch (const platform::InputFileError& e) {
        throw InputError(e.what());
    }
}

// The script's fixed vectors for an exit that was not placed: half an exit's
// width either side of its default position.
bool isDefaultExit(ScriptPoint a, ScriptPoint b, int number) {
    const script::Point d = script::kDefaultExits[number == 1 ? 0 : 1];
    return a.x == d.x + script::kExitHalfWidth && b.x == d.x - script::kExitHalfWidth &&
           a.z == d.z && b.z == d.z;
}

// The floor has no room for person `i`: say how large the floor is and what
// unit mistake would explain it.
std::string noRoomMessage(const ProjectData& project, const crowd::Polygon& floor, int i,
                          int total) {
    const crowd::Box box = crowd::WalkableArea({floor}).bounds();
    const double width = box.max.x - box.min.x, depth = box.max.y - box.min.y;
    std::string text = chosenFloorName(project).string() + ": the floor is " + platform::fixedText(width, 2) +
                       " m x " + platform::fixedText(depth, 2) + " m (" +
                       (project.unitsStated ? "its Units line gives " + platform::fixedText(project.metresPerUnit, 4) +
                                                  " m per unit"
                                            : std::string("read as decimetres: its header states no Units")) +
                       ") and has no room for " + std::to_string(total) + " people: person " +
                       std::to_string(i) + " does not fit";
    const double larger = std::max(width, depth);
    if (!project.unitsStated && larger < 10.0) {
        text += ". If its coordinates are metres, state it with the line \"Units 1.0\" in the "
                "header of the floor file (before its first node), or draw it in decimetres";
    } else if (project.unitsStated && project.metresPerUnit < 1.0 && larger < 10.0) {
        text += ". If its coordinates are metres, its Units line should give 1.0";
    }
    return text;
}

}  // namespace

std::filesystem::path chosenFloorName(const ProjectData& project) {
    return project.record.chosenFloor.empty() ? project.floorPath : project.record.chosenFloor;
}

std::string exitName(ScriptPoint a, ScriptPoint b, int number) {
    return (isDefaultExit(a, b, number) ? "default exit " : "exit ") + std::to_string(number);
}

ProjectData readProject(const std::filesystem::path& startDirectory) {
    ProjectData p;
    const std::filesystem::path project = startDirectory / projectformat::kProjectFolder;
    if (!std::filesystem::is_directory(project))
        throw InputError(
            project.string() +
            ": no project here (mvnrt reads the folder bProj of the current directory)");
    p.scriptPath =
        projectformat::hostPath(startDirectory, projectformat::fileMadeFrom(Content::StartupScript).path);
    const std::string text = readWhole(p.scriptPath);
    try {
        p.script = parseStartupScript(text);
    } catch (const ScriptError& e) {
        throw InputError(p.scriptPath.string() + ": " + e.what());
    }

    p.floorPath =
        projectformat::hostPath(startDirectory, projectformat::fileMadeFrom(Content::Floor).path);
    if (!std::filesystem::is_regular_file(p.floorPath)) {
        // A FIFO, a device or a folder there is named as what it is.
        std::string why;
        std::error_code ec;
        if (std::filesystem::exists(std::filesystem::symlink_status(p.floorPath, ec)))
            platform::openRegularFile(p.floorPath, UINT64_MAX, &why);
        throw InputError(p.floorPath.string() + ": " +
                         (why.empty() ? std::string("the project has no floor file") : why));
    }
    floorplan::FloorMeshReader reader;
    floorplan::OutlineCollector outline;
    const floorplan::LoadReport report = reader.setFloorPath(p.floorPath.string(), outline);
    if (report.outcome != floorplan::LoadOutcome::Loaded) {
        std::string why =
            report.reason.empty() ? std::string("no usable floor mesh") : report.reason;
        throw InputError(p.floorPath.string() + ": the floor cannot be read: " + why);
    }
    p.record = readBuildRecord(startDirectory, p.script.totalPeople);
    p.floorOutline = outline.vertices;
    p.floorScale = reader.scale;
    try {
        if (const auto stated = floorplan::statedMetresPerUnitOfFile(p.floorPath)) {
            p.metresPerUnit = *stated;
            p.unitsStated = true;
        }
    } catch (const std::invalid_argument& e) {
        throw InputError(chosenFloorName(p).string() + ": " + e.what());
    }
    return p;
}

ProjectSetup buildProjectSetup(const ProjectData& project, std::uint64_t seed,
                               const crowd::ModelParams& params, const RoleSpeeds& speeds) {
    using crowd::Vec2;
    const double m = project.metresPerUnit;  // floor coordinates and clicked positions
    const double fixedM = kScriptMetresPerUnit;
    const StartupScript& s = project.script;
    ProjectSetup out;
    crowd::CrowdSetup& setup = out.setup;
    setup.params = params;
    // Exits are placed on walls (or kept as lines) where the user clicked
    // them (exit_intent.h); the core opens a wall only where a door stands.
    setup.params.doorSnap = std::min(params.doorSnap, 1e-6);
    setup.seed = seed;

    // The floor outline, in metres.
    const crowd::FloorOutlineCheck floor = floorplan::checkProjectFloor(project.floorOutline, m);
    if (!floor.problem.empty())
        throw InputError(chosenFloorName(project).string() + ": the floor outline is unusable: " +
                         floor.problem);
    crowd::Polygon poly = floor.walkable;
    out.outlineRepaired = floor.crossesItself;
    setup.area = crowd::WalkableArea({poly});

    // The two exits where the user meant them (exit_intent.h). The script's
    // Poll takes out whoever comes closer than kExitLeaveDistance to one of
    // an exit's vectors; they move with the exit.
    out.exitNames = {exitName(s.va, s.vb, 1), exitName(s.va2, s.vb2, 2)};
    const FloorFrame frame{project.floorScale, 1.0 / m};
    const ScriptPoint pairs[2][2] = {{s.va, s.vb}, {s.va2, s.vb2}};
    for (int e = 0; e < 2; ++e) {
        const ScriptPoint a = pairs[e][0], b = pairs[e][1];
        const ExitIntent intent = interpretExit(a, b, isDefaultExit(a, b, e + 1),
                                                out.exitNames[static_cast<std::size_t>(e)], poly,
                                                frame);
        setup.exits.push_back(intent.exit);
        out.exitPlaces.push_back(intent.description);
    }

    // Before anyone is placed: can bodies stand on this floor at all, and
    // does its size look like a unit mistake (floor_fit.h)?
    const int total =
        s.scattered + script::kPeoplePerCluster * static_cast<int>(s.clusters.size());
    const floorplan::FloorFit fit = floorplan::checkFloorFit(poly, project.unitsStated, total);
    if (!fit.fits)
        throw InputError(floorplan::noRoomText(chosenFloorName(project), fit, project.unitsStated, m));
    if (fit.looksLikeMetres) out.warnings.push_back(floorplan::smallFloorText(chosenFloorName(project), fit));

    // Where the script puts people, in load order: the scattered ones first,
    // then ten per cluster on a circle around the point where it was clicked
    // (the dialog's conversion of a cluster centre undone, as for exits).
    crowd::Rng rng(seed);
    std::vector<Vec2> wanted;
    wanted.reserve(static_cast<std::size_t>(total));
    for (int i = 0; i < s.scattered; ++i) {
        const int x = script::kScatterOrigin + rng.rand31() % script::kScatterRange;
        const int z = script::kScatterOrigin + rng.rand31() % script::kScatterRange;
        wanted.push_back({x * fixedM, z * fixedM});
    }
    const double pi = std::acos(-1.0);
    std::vector<Vec2> clicked;
    for (const ScriptPoint& c : s.clusters) {
        const Vec2 centre = m * clickedClusterPoint(c.x, c.z, project.floorScale);
        clicked.push_back(centre);
        for (int k = 0; k < script::kPeoplePerCluster; ++k) {
            const double angle =
                (script::kClusterFirstAngle + script::kClusterAngleStep * k) / 180.0 * pi;
            wanted.push_back({centre.x + script::kClusterRadius * std::cos(angle) * fixedM,
                              centre.y + script::kClusterRadius * std::sin(angle) * fixedM});
        }
    }

    // Bodies and roles, in load order: as typed when the build's record says
    // it, else by the script's role loop (roles.h).
    const std::vector<crowd::Role> roles = projectRoles(total, project.record.typed);
    std::vector<double> radius(static_cast<std::size_t>(total));
    for (double& r : radius) r = rng.uniform(params.radiusMin, params.radiusMax);
    crowd::Placer placer(setup.area);
    for (int i = 0; i < total; ++i) {
        crowd::PersonSpec p;
        p.radius = radius[i];
        // The script hands each parent to the child loaded just before it
        // with SetLeaderFollower(child, parent, (0,0,1), 2): the parent keeps
        // 2 units behind its child along z. It starts there, at the nearest
        // free spot, rather than where the scattering put it, so that the
        // family leaves together (scattered, the two could start 17 m apart,
        // on either side of a crowd they cannot cross).
        const std::size_t k = static_cast<std::size_t>(i);
        const bool parent = roles[k] == crowd::Role::Parent;
        if (parent) wanted[k] = setup.people[k - 1].start + Vec2{0.0, kFollowerOffset * fixedM};
        // A floor without room left squeezes people in: the clearance
        // between bodies shrinks in steps of 10 % down to half (it never
        // grows back, as the floor only fills up).
        auto spot = placer.nearestFree(wanted[k], p.radius);
        while (!spot && placer.peopleClearance() > kMinClearance + 1e-9) {
            placer.setPeopleClearance(placer.peopleClearance() - 0.1);
            spot = placer.nearestFree(wanted[k], p.radius);
        }
        if (!spot) throw InputError(noRoomMessage(project, poly, i, total));
        out.squeeze = placer.peopleClearance();
        if (!parent && (spot->x != wanted[k].x || spot->y != wanted[k].y)) ++out.movedPeople;
        placer.add(*spot, p.radius);
        p.start = *spot;
        p.role = roles[k];
        if (p.role == crowd::Role::Child) {
            p.desiredSpeed = rng.uniform(speeds.childMin, speeds.childMax);
        } else if (parent) {
            p.leader = i - 1;
            p.desiredSpeed = setup.people[static_cast<std::size_t>(i - 1)].desiredSpeed;
        } else if (p.role == crowd::Role::Adult) {
            p.desiredSpeed = rng.uniform(speeds.adultMin, speeds.adultMax);
        } else {
            p.role = crowd::Role::JoggingChild;
            p.desiredSpeed = rng.uniform(speeds.joggerMin, speeds.joggerMax);
        }
        // ClosestExit: the nearer end of each exit's pair of vectors decides
        // (where the exits were opened); a tie goes to the first.
        auto nearerEnd = [&](const crowd::ExitSpec& x) {
            return std::min(crowd::distance(x.leavePoints[0], p.start),
                            crowd::distance(x.leavePoints[1], p.start));
        };
        p.exit = nearerEnd(setup.exits[0]) <= nearerEnd(setup.exits[1]) ? 0 : 1;
        setup.people.push_back(p);
    }

    // Where each cluster was clicked and where its people started.
    for (std::size_t c = 0; c < clicked.size(); ++c) {
        Vec2 sum{0.0, 0.0};
        const std::size_t first =
            static_cast<std::size_t>(s.scattered) + c * script::kPeoplePerCluster;
        for (std::size_t k = first; k < first + script::kPeoplePerCluster; ++k)
            sum = sum + setup.people[k].start;
        const Vec2 mean = (1.0 / script::kPeoplePerCluster) * sum;
        out.clusterPlaces.push_back("cluster " + std::to_string(c + 1) + ": clicked at (" +
                                    platform::fixedText(clicked[c].x, 2) + ", " + platform::fixedText(clicked[c].y, 2) +
                                    ") m, its people started around (" + platform::fixedText(mean.x, 2) + ", " +
                                    platform::fixedText(mean.y, 2) + ") m");
    }
    out.roleRule = roleRuleText(project.record, total);
    return out;
}

}  // namespace runtime
