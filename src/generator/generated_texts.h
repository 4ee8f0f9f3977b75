#pragma once
// The texts of the generated files, as the writers insert them: plain line
// feeds, which the builder's text-mode stream stores as CR LF. Each writer
// lives in its own source beside this header.

#include <cstdint>
#include <string>
#include <vector>

#include "projectformat/project_files.h"
#include "projectformat/startup_script_format.h"
#include "scenario/scenario_settings.h"

namespace generator {

// How the people of a scenario are placed (projectformat::layoutPeople), with
// clusterCount held within 0 to 40, the clusters the scenario can carry.
using projectformat::PeopleLayout;
PeopleLayout layoutPeople(int pairCount, int adultCount, int childCount, int clusterCount);

// The text of a generated file of the tree (content not Template or Floor).
std::string generatedText(projectformat::Content content, const scenario::ScenarioSettings& s);

// bProj\Vellico\startup.pc for the scenario (reads the counts, flags, the first
// exitCount exits, the first USED clusters and floorScale).
std::string startupScriptText(const scenario::ScenarioSettings& scenario);

// bProj\Vellico\helperdata.pcs and bProj\Vellico\drive_event.pti.
std::string helperDataText();
std::string driveEventText();

// bProj\StateMachines\events.evt.
std::string eventTableText();

// bProj\something.spj.
std::string projectDescriptorText();

// bProj\something.sws and bProj\template.sws.
std::string workspaceText();
std::string templateWorkspaceText();

// The binary records of the workspace files.
struct WindowRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};
struct EditorRecord {
    std::string name;
    std::uint8_t marker[4] = {0xff, 0xff, 0xff, 0xff};
    std::int32_t showState = 1;
    std::int32_t minimisedX = -1, minimisedY = -1;
    std::int32_t maximisedX = -1, maximisedY = -1;
    WindowRect normal;
    std::string assetType;
    std::string folder;
    std::string path;
};
std::vector<std::uint8_t> encodeWindowRect(const WindowRect& rect);  // 20 bytes, flag 1
std::vector<std::uint8_t> encodeEditor(const EditorRecord& editor);
// A binary value as written after "=(binary) ": "xNN" bytes separated by
// commas, a line end after every 19th byte's comma, no comma after the last.
std::string binaryValueText(const std::vector<std::uint8_t>& bytes);

}  // namespace generator
