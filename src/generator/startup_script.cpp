// The startup scenario script, bProj\Vellico\startup.pc: the rows of the
// project format with the scenario's numbers filled in.
#include <algorithm>
#include <string>

#include "generator/generated_texts.h"
#include "projectformat/startup_script_format.h"

namespace generator {

namespace pf = projectformat;

namespace {

// Camera coordinate: floorScale times a single-precision constant, formed in
// double and stored as single precision.
float camera(double floorScale, float factor) {
    return static_cast<float>(floorScale * static_cast<double>(factor));
}

void set(pf::FieldValues& values, pf::Field field, std::string text) {
    values[static_cast<std::size_t>(field)] = std::move(text);
}

// The exit rule: an exit at P gives the ends (P.x + 5, P.z) and (P.x - 5, P.z).
void setExit(pf::FieldValues& values, const scenario::WorldPosition& p, pf::Field ax,
             pf::Field bx, pf::Field z) {
    set(values, ax, pf::formatReal(p.x + pf::script::kExitHalfWidth));
    set(values, bx, pf::formatReal(p.x - pf::script::kExitHalfWidth));
    set(values, z, pf::formatReal(p.z));
}

}  // namespace

PeopleLayout layoutPeople(int pairCount, int adultCount, int childCount, int clusterCount) {
    return pf::layoutPeople(pairCount, adultCount, childCount,
                            std::clamp(clusterCount, 0, scenario::kMaxClusters));
}

std::string startupScriptText(const scenario::ScenarioSettings& s) {
    using pf::Field;
    const PeopleLayout layout =
        layoutPeople(s.pairCount, s.adultCount, s.childCount, s.clusterCount);
    pf::FieldValues values;
    set(values, Field::TotalPeople, std::to_string(layout.total));
    set(values, Field::KvxFlag, s.recordKvx ? "1" : "0");
    set(values, Field::AviFlag, s.recordAvi ? "1" : "0");
    set(values, Field::Scattered, std::to_string(layout.scattered));
    const double floorScale = static_cast<double>(s.floorScale);
    set(values, Field::CameraX, pf::formatReal(camera(-floorScale, pf::script::kCameraSide)));
    set(values, Field::CameraY, pf::formatReal(camera(floorScale, pf::script::kCameraHeight)));
    set(values, Field::CameraZ, pf::formatReal(camera(floorScale, pf::script::kCameraSide)));

    // Exits that were not placed take their default positions: one placed
    // exit is the first, two are both.
    const bool first = s.exitCount == 1 || s.exitCount == 2;
    const bool second = s.exitCount == 2;
    const auto defaultExit = [](int k) {
        const auto& d = pf::script::kDefaultExits[k];
        return scenario::WorldPosition{d.x, d.z};
    };
    setExit(values, first ? s.exits[0] : defaultExit(0), Field::FirstExitAX, Field::FirstExitBX,
            Field::FirstExitZ);
    setExit(values, second ? s.exits[1] : defaultExit(1), Field::SecondExitAX,
            Field::SecondExitBX, Field::SecondExitZ);

    std::string out;
    out.reserve(8192);
    for (int number = 1; number <= pf::row::kCount; ++number) {
        if (number == pf::row::kClusterCentre) {
            // The centre row and the cluster call, once per used cluster.
            for (long long k = 0; k < layout.used; ++k) {
                const auto& centre = s.clusters[static_cast<std::size_t>(k)];
                set(values, Field::ClusterX, pf::formatReal(centre.x));
                set(values, Field::ClusterZ, pf::formatReal(centre.z));
                pf::appendRow(out, pf::row::kClusterCentre, values);
                pf::appendRow(out, pf::row::kClusterCall, values);
            }
            number = pf::row::kClusterCall;
            continue;
        }
        pf::appendRow(out, number, values);
    }
    return out;
}

std::string generatedText(projectformat::Content content, const scenario::ScenarioSettings& s) {
    using projectformat::Content;
    switch (content) {
        case Content::ProjectDescriptor:
            return projectDescriptorText();
        case Content::Workspace:
            return workspaceText();
        case Content::TemplateWorkspace:
            return templateWorkspaceText();
        case Content::EventTable:
            return eventTableText();
        case Content::StartupScript:
            return startupScriptText(s);
        case Content::HelperData:
            return helperDataText();
        case Content::DriveEvent:
            return driveEventText();
        case Content::Template:
        case Content::Floor:
            break;
    }
    return {};
}

}  // namespace generator
