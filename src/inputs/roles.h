#pragma once
// The roles of a project's people: families (a child and its parent),
// adults and children on their own.
//
// The startup script knows only how many people there are; its role loop
// makes the first 30 people alternate child and parent, the next 30 adults
// and the rest jogging children, whatever was typed. The scenario record
// that the dialog and escape-build keep beside the tree
// (cli/build_record.h) says what was typed; with it the people get those
// roles. Either way roles go to the people in load order (the scattered
// people first, then ten per cluster), a child's parent right after it, and
// the parent starts beside its child wherever the script puts the child.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "crowd/model.h"
#include "scenario/scenario_settings.h"

namespace runtime {

// The counts typed into the dialog (or given to escape-build).
struct TypedRoles {
    int pairs = 0;
    int adults = 0;
    int children = 0;
    int total() const { return 2 * pairs + adults + children; }
};

// What the record beside a project says, as far as the runtime uses it.
struct BuildRecord {
    std::filesystem::path path;        // where it was looked for
    bool found = false;                // a record is there
    std::optional<TypedRoles> typed;   // the roles to give; none: the script's rule
    // The floor file the user chose, resolved against the start directory;
    // empty when the build used the basic floor (or there is no record).
    std::filesystem::path chosenFloor;
    std::string problem;  // why a record that is there was not used
};

// Reads the record beside the project built in `startDirectory`. A record
// that cannot be read, or whose people do not add up to the script's
// `totalPeople` (a tree built since by something that wrote no record), is
// not used, and `problem` says why.
BuildRecord readBuildRecord(const std::filesystem::path& startDirectory, int totalPeople);

// The role of each of `total` people in load order: `typed` gives that many
// families (child, then parent), then adults, then children on their own;
// without it the script's rule.
std::vector<crowd::Role> projectRoles(int total, const std::optional<TypedRoles>& typed);

// Which rule gave the roles, for the report: "roles as typed ... (the
// scenario record X)" or "roles by the startup script's rule ...".
std::string roleRuleText(const BuildRecord& record, int total);

// People by role, and the families among them.
struct RoleCounts {
    int children = 0;         // walking with a parent
    int parents = 0;
    int adults = 0;
    int joggingChildren = 0;  // children on their own
    int others = 0;           // people of a generic scenario
    int families = 0;         // a parent with its child
};
RoleCounts countRoles(const std::vector<crowd::PersonSpec>& people);

}  // namespace runtime
