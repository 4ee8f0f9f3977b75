#include "runtime/project.h"

#include <cmath>

#include "crowd/floor_outline.h"
#include "crowd/geometry.h"
#include "crowd/placement.h"
#include "crowd/rng.h"
#include "floorplan/floor_reader.h"
#include "platform/safe_input.h"
#include "projectformat/project_files.h"
#include "projectformat/startup_script_format.h"

namespace runtime {

namespace {

namespace script = projectformat::script;
using projectformat::Content;

constexpr double kMinClearance = 0.5;

class OutlineCollector : public floorplan::OutlineSink {
  public:
    void discardOutline() override { vertices.clear(); }
    void beginOutline() override { vertices.clear(); }
    void vertex(float x, float y, float z) override {
        (void)y;
        vertices.push_back({static_cast<double>(x), static_cast<double>(z)});
    }
    std::vector<crowd::Vec2> vertices;
};

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

}  // namespace

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
    if (!std::filesystem::is_regular_file(p.floorPath))
        throw InputError(p.floorPath.string() + ": the project has no floor file");
    floorplan::FloorMeshReader reader;
    OutlineCollector outline;
    const floorplan::LoadReport report = reader.setFloorPath(p.floorPath.string(), outline);
    if (report.outcome != floorplan::LoadOutcome::Loaded) {
        std::string why =
            report.reason.empty() ? std::string("no usable floor mesh") : report.reason;
        throw InputError(p.floorPath.string() + ": the floor cannot be read: " + why);
    }
    p.floorOutline = outline.vertices;
    return p;
}

ProjectSetup buildProjectSetup(const ProjectData& project, std::uint64_t seed,
                               const crowd::ModelParams& params, const RoleSpeeds& speeds) {
    using crowd::Vec2;
    const double m = 1.0 / kProjectUnitsPerMetre;
    const StartupScript& s = project.script;
    ProjectSetup out;
    crowd::CrowdSetup& setup = out.setup;
    setup.params = params;
    setup.seed = seed;

    // The floor outline, in metres.
    crowd::Polygon poly;
    for (const Vec2& v : project.floorOutline) poly.push_back({v.x * m, v.y * m});
    const crowd::FloorOutlineCheck floor = crowd::checkFloorOutline(poly);
    if (!floor.problem.empty())
        throw InputError(project.floorPath.string() + ": the floor outline is unusable: " +
                         floor.problem);
    poly = floor.walkable;
    out.outlineRepaired = floor.crossesItself;
    setup.area = crowd::WalkableArea({poly});

    // The two exit pairs. The script's Poll takes out whoever comes closer
    // than kExitLeaveDistance to any of the four vectors.
    auto toM = [&](ScriptPoint p) { return Vec2{p.x * m, p.z * m}; };
    const double leaveRadius = script::kExitLeaveDistance * m;
    out.exitNames = {exitName(s.va, s.vb, 1), exitName(s.va2, s.vb2, 2)};
    setup.exits.push_back(
        {out.exitNames[0], {toM(s.va), toM(s.vb)}, {toM(s.va), toM(s.vb)}, leaveRadius});
    setup.exits.push_back(
        {out.exitNames[1], {toM(s.va2), toM(s.vb2)}, {toM(s.va2), toM(s.vb2)}, leaveRadius});

    // Where the script puts people, in load order: the scattered ones first,
    // then ten per cluster on a circle around its centre.
    crowd::Rng rng(seed);
    const int total =
        s.scattered + script::kPeoplePerCluster * static_cast<int>(s.clusters.size());
    std::vector<Vec2> wanted;
    wanted.reserve(static_cast<std::size_t>(total));
    for (int i = 0; i < s.scattered; ++i) {
        const int x = script::kScatterOrigin + rng.rand31() % script::kScatterRange;
        const int z = script::kScatterOrigin + rng.rand31() % script::kScatterRange;
        wanted.push_back({x * m, z * m});
    }
    const double pi = std::acos(-1.0);
    for (const ScriptPoint& c : s.clusters)
        for (int k = 0; k < script::kPeoplePerCluster; ++k) {
            const double angle =
                (script::kClusterFirstAngle + script::kClusterAngleStep * k) / 180.0 * pi;
            wanted.push_back({(c.x + script::kClusterRadius * std::cos(angle)) * m,
                              (c.z + script::kClusterRadius * std::sin(angle)) * m});
        }

    // Bodies and roles, following the script's loop over people in load order.
    std::vector<double> radius(static_cast<std::size_t>(total));
    for (double& r : radius) r = rng.uniform(params.radiusMin, params.radiusMax);
    crowd::Placer placer(setup.area);
    int adults = 0;
    for (int i = 0; i < total; ++i) {
        crowd::PersonSpec p;
        p.radius = radius[i];
        // A floor without room left squeezes people in: the clearance
        // between bodies shrinks in steps of 10 % down to half (it never
        // grows back, as the floor only fills up).
        auto spot = placer.nearestFree(wanted[i], p.radius);
        while (!spot && placer.peopleClearance() > kMinClearance + 1e-9) {
            placer.setPeopleClearance(placer.peopleClearance() - 0.1);
            spot = placer.nearestFree(wanted[i], p.radius);
        }
        if (!spot)
            throw InputError("the floor has no room left for person " + std::to_string(i) + " of " +
                             std::to_string(total));
        out.squeeze = placer.peopleClearance();
        if (spot->x != wanted[i].x || spot->y != wanted[i].y) ++out.movedPeople;
        placer.add(*spot, p.radius);
        p.start = *spot;
        if (i % 2 == 0 && i < script::kPairedPeople) {
            p.role = crowd::Role::Child;
            p.desiredSpeed = rng.uniform(speeds.childMin, speeds.childMax);
        } else if (i < script::kPairedPeople) {
            p.role = crowd::Role::Parent;
            p.leader = i - 1;
            p.desiredSpeed = setup.people[static_cast<std::size_t>(i - 1)].desiredSpeed;
        } else if (adults < script::kAdults) {
            p.role = crowd::Role::Adult;
            ++adults;
            p.desiredSpeed = rng.uniform(speeds.adultMin, speeds.adultMax);
        } else {
            p.role = crowd::Role::JoggingChild;
            p.desiredSpeed = rng.uniform(speeds.joggerMin, speeds.joggerMax);
        }
        // ClosestExit: the nearer end of each pair decides; a tie goes to va/vb.
        const double px = p.start.x * kProjectUnitsPerMetre, pz = p.start.y * kProjectUnitsPerMetre;
        auto d = [&](ScriptPoint v) {
            return std::sqrt((v.x - px) * (v.x - px) + (v.z - pz) * (v.z - pz));
        };
        const double l1 = std::min(d(s.va), d(s.vb));
        const double l2 = std::min(d(s.va2), d(s.vb2));
        p.exit = (l1 <= l2) ? 0 : 1;
        setup.people.push_back(p);
    }
    return out;
}

}  // namespace runtime
