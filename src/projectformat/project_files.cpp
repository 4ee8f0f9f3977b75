#include "projectformat/project_files.h"

#include <array>

#include "platform/platform.h"

namespace projectformat {

namespace {

using C = Content;
// clang-format off
constexpr std::array<ProjectFile, kProjectFileCount> kFiles = {{
    {".\\bProj\\something.spj", C::ProjectDescriptor, {}},
    {".\\bProj\\something.sws", C::Workspace, {}},
    {".\\bProj\\template.sws", C::TemplateWorkspace, {}},
    {".\\bProj\\StateMachines\\handler.hfsm", C::Template, ".\\unchanged\\handler.hfsm"},
    {".\\bProj\\StateMachines\\handler.chfsm", C::Template, ".\\unchanged\\handler.chfsm"},
    {".\\bProj\\StateMachines\\cluster.hfsm", C::Template, ".\\unchanged\\cluster.hfsm"},
    {".\\bProj\\StateMachines\\cluster.chfsm", C::Template, ".\\unchanged\\cluster.chfsm"},
    {".\\bProj\\StateMachines\\events.evt", C::EventTable, {}},
    {".\\bProj\\Vellico\\startup.pc", C::StartupScript, {}},
    {".\\bProj\\Vellico\\rtk.pc", C::Template, ".\\unchanged\\rtk.pc"},
    {".\\bProj\\Vellico\\vellico.pti", C::Template, ".\\unchanged\\vellico.pti"},
    {".\\bProj\\Vellico\\mocap.pc", C::Template, ".\\unchanged\\mocap.pc"},
    {".\\bProj\\Vellico\\imgcap.pc", C::Template, ".\\unchanged\\imgcap.pc"},
    {".\\bProj\\Vellico\\helperdata.pcs", C::HelperData, {}},
    {".\\bProj\\Vellico\\helper.pc", C::Template, ".\\unchanged\\helper.pc"},
    {".\\bProj\\Vellico\\flock.pc", C::Template, ".\\unchanged\\flock.pc"},
    {".\\bProj\\Vellico\\drive_typeinfo.pti", C::Template, ".\\unchanged\\drive_typeinfo.pti"},
    {".\\bProj\\Vellico\\drive_event.pti", C::DriveEvent, {}},
    {".\\bProj\\Vellico\\drive_constants.pcs", C::Template, ".\\unchanged\\drive_constants.pcs"},
    {".\\bProj\\Vellico\\crowd.pc", C::Template, ".\\unchanged\\crowd.pc"},
    {".\\bProj\\Content\\Actors\\Archer\\Archer.kvx", C::Template, ".\\unchanged\\Archer.kvx"},
    {".\\bProj\\Content\\Actors\\Proxy\\Proxy.kvx", C::Template, ".\\unchanged\\Proxy.kvx"},
    {".\\bProj\\Content\\Actors\\Floor\\Floor.kvx", C::Floor, {}},
    {".\\bProj\\Content\\Actors\\Wall\\Wall.kvx", C::Template, ".\\unchanged\\Wall.kvx"},
    {".\\bProj\\Content\\Worlds\\world.kvx", C::Template, ".\\unchanged\\world.kvx"},
}};
// clang-format on

}  // namespace

std::span<const ProjectFile> projectFiles() { return kFiles; }

const ProjectFile& fileMadeFrom(Content content) {
    for (const ProjectFile& f : kFiles)
        if (f.content == content) return f;
    return kFiles.front();  // Content::Template has no one file; callers do not ask
}

std::filesystem::path hostPath(const std::filesystem::path& root, std::string_view systemPath) {
    return platform::nativePathBelow(root, systemPath);
}

}  // namespace projectformat
