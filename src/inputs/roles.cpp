#include "inputs/roles.h"

#include <algorithm>

#include "scenario/build_record.h"
#include "platform/platform.h"
#include "platform/safe_output.h"
#include "projectformat/startup_script_format.h"

namespace runtime {

namespace {

namespace script = projectformat::script;

// escape-build's count for one that a record leaves out.
constexpr int kDefaultCount = 5;

}  // namespace

BuildRecord readBuildRecord(const std::filesystem::path& startDirectory, int totalPeople) {
    BuildRecord out;
    out.path = scenario::buildRecordPath(startDirectory);
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(out.path, ec))) return out;
    out.found = true;
    scenario::BuildRequest request;
    try {
        request = scenario::readScenarioFile(out.path.string());
    } catch (const scenario::UsageError& e) {
        out.problem = platform::capped(e.what(), 500);
        return out;
    }
    const TypedRoles typed{request.pairs.value_or(kDefaultCount),
                           request.adults.value_or(kDefaultCount),
                           request.children.value_or(kDefaultCount)};
    if (typed.total() != totalPeople) {
        out.problem = "it types " + std::to_string(typed.total()) + " people (" +
                      scenario::peopleText(typed.pairs, typed.adults, typed.children) +
                      ") but the project's startup script makes " + std::to_string(totalPeople) +
                      ": the project was built since without it";
        return out;
    }
    out.typed = typed;
    if (request.floor) {
        std::filesystem::path floor = platform::nativePath(*request.floor);
        if (floor.is_relative()) floor = startDirectory / floor;
        out.chosenFloor = floor.lexically_normal();
    }
    return out;
}

std::vector<crowd::Role> projectRoles(int total, const std::optional<TypedRoles>& typed) {
    std::vector<crowd::Role> roles;
    roles.reserve(static_cast<std::size_t>(std::max(total, 0)));
    const int paired = typed ? 2 * typed->pairs : script::kPairedPeople;
    const int adults = typed ? typed->adults : script::kAdults;
    for (int i = 0; i < total; ++i) {
        if (i < paired)
            roles.push_back(i % 2 == 0 ? crowd::Role::Child : crowd::Role::Parent);
        else if (i < paired + adults)
            roles.push_back(crowd::Role::Adult);
        else
            roles.push_back(crowd::Role::JoggingChild);
    }
    // The script's rule leaves a child without its parent when the people
    // end inside the first 30 on a child: it walks as a child all the same.
    return roles;
}

std::string roleRuleText(const BuildRecord& record, int total) {
    if (record.typed)
        return "roles as typed: " + scenario::peopleText(record.typed->pairs, record.typed->adults,
                                               record.typed->children) +
               " (the scenario record " + record.path.string() + ")";
    std::string text = "roles by the startup script's rule, not as typed: the first " +
                       std::to_string(script::kPairedPeople) +
                       " people alternate child and parent, the next " +
                       std::to_string(script::kAdults) +
                       " are adults, the rest children on their own (" +
                       std::to_string(total) + " people: ";
    const std::vector<crowd::Role> roles = projectRoles(total, std::nullopt);
    RoleCounts c;
    for (std::size_t i = 0; i < roles.size(); ++i) {
        if (roles[i] == crowd::Role::Child) ++c.children;
        if (roles[i] == crowd::Role::Parent) ++c.parents;
        if (roles[i] == crowd::Role::Adult) ++c.adults;
        if (roles[i] == crowd::Role::JoggingChild) ++c.joggingChildren;
    }
    text += scenario::countText(c.parents, "family", "families");
    if (c.children > c.parents) text += ", " + scenario::countText(c.children - c.parents, "child", "children") + " without a parent";
    text += ", " + scenario::countText(c.adults, "adult", "adults") + ", " +
            scenario::countText(c.joggingChildren, "child", "children") + " on their own); ";
    if (!record.found)
        text += "there is no scenario record " + record.path.string() +
                " beside the project (build it again with escape-setup or escape-build)";
    else
        text += "the scenario record " + record.path.string() + " was not used: " + record.problem;
    return text;
}

RoleCounts countRoles(const std::vector<crowd::PersonSpec>& people) {
    RoleCounts c;
    for (const crowd::PersonSpec& p : people) {
        switch (p.role) {
            case crowd::Role::Child: ++c.children; break;
            case crowd::Role::Parent:
                ++c.parents;
                if (p.leader >= 0) ++c.families;
                break;
            case crowd::Role::Adult: ++c.adults; break;
            case crowd::Role::JoggingChild: ++c.joggingChildren; break;
            case crowd::Role::Person: ++c.others; break;
        }
    }
    return c;
}

}  // namespace runtime
