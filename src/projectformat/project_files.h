#pragma once
// The 25 files of the project tree bProj, in the order a build writes them,
// each with what it is made from. Paths are system paths relative to the
// start directory (".\bProj\Vellico\startup.pc"; platform::nativePath maps
// them to the host).

#include <cstddef>
#include <filesystem>
#include <span>
#include <string_view>

namespace projectformat {

// What a file of the tree is made from.
enum class Content : unsigned char {
    ProjectDescriptor,  // generated: the project descriptor
    Workspace,          // generated: the project's editor workspace
    TemplateWorkspace,  // generated: the template's editor workspace
    EventTable,         // generated: the 31 Drive events
    StartupScript,      // generated: the scenario (startup_script_format.h)
    HelperData,         // generated: const DM_PING = 123;
    DriveEvent,         // generated: the type information of Event
    Template,           // a byte-for-byte copy of a template below unchanged/
    Floor,              // a byte-for-byte copy of the floor file of the scenario
};

struct ProjectFile {
    std::string_view path;          // ".\bProj\..."
    Content content;
    std::string_view templatePath;  // for Content::Template: ".\unchanged\..."; else empty

    bool generated() const { return content != Content::Template && content != Content::Floor; }
};

inline constexpr std::size_t kProjectFileCount = 25;
// All files in build order.
std::span<const ProjectFile> projectFiles();
// The one file made from `content` (not Content::Template).
const ProjectFile& fileMadeFrom(Content content);

// The project's world unit is the decimetre: ten units to the metre (the
// script's exit vectors, 10 units apart, make a door 1 m wide). A floor may
// state another unit for its own coordinates (floorplan/floor_units.h).
inline constexpr double kWorldUnitsPerMetre = 10.0;

// The folder below the start directory that holds the tree.
inline constexpr std::string_view kProjectFolder = "bProj";

// The host path of a system path below `root` (an absolute system path
// stays as it is).
std::filesystem::path hostPath(const std::filesystem::path& root, std::string_view systemPath);

}  // namespace projectformat
