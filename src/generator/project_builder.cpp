#include "generator/project_builder.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <utility>

#include "generator/generated_texts.h"
#include "generator/template_copy.h"
#include "platform/platform.h"
#include "platform/safe_output.h"

namespace generator {

using projectformat::Content;
using projectformat::ProjectFile;

std::string BuildFailure::reason() const {
    switch (step) {
        case BuildStep::FindStartDirectory:
            return "the start directory cannot be used" + (cause.empty() ? "" : ": " + cause) +
                   "; nothing was written";
        case BuildStep::CreateDirectory:
            return cause.empty() ? "could not create the directory"
                                 : "could not use the directory: it " + cause;
        case BuildStep::OpenForWriting:
            return "could not open for writing: " + cause;
        case BuildStep::Write:
            return "could not write: " + cause;
        case BuildStep::ReadTemplate:
        case BuildStep::ReadFloor: {
            const std::string what = step == BuildStep::ReadFloor ? "floor file" : "template";
            return what + (cause.empty() ? " missing" : " unreadable: " + cause) + "; " +
                   writtenEmpty + " was written empty";
        }
        case BuildStep::CopyRead:
            return "source unreadable: " + cause;
        case BuildStep::CopyWrite:
            return "write failed: " + cause;
    }
    return cause;
}

BuildReport buildProject(const scenario::ScenarioSettings& settings,
                         const std::filesystem::path& root) {
    ProjectBuilder builder(settings, root);
    return builder.report();
}

ProjectBuilder::ProjectBuilder(scenario::ScenarioSettings settings)
    : ProjectBuilder(settings, platform::nativePath(settings.startDirectory)) {}

ProjectBuilder::ProjectBuilder(scenario::ScenarioSettings settings, std::filesystem::path root)
    : std::iostream(nullptr), root_(std::move(root)) {
    // Set up the stream with no file open.
    rdbuf(&buffer_);
    clear();

    // The builder's own copies. Only the first exitCount exits and the first
    // clusterCount clusters are taken; the other entries stay unset.
    scenario_.recordKvx = settings.recordKvx;
    scenario_.recordAvi = settings.recordAvi;
    scenario_.pairCount = settings.pairCount;
    scenario_.adultCount = settings.adultCount;
    scenario_.childCount = settings.childCount;
    scenario_.clusterCount = settings.clusterCount;
    scenario_.exitCount = settings.exitCount;
    scenario_.floorScale = settings.floorScale;
    scenario_.floorPath = std::move(settings.floorPath);
    scenario_.startDirectory = std::move(settings.startDirectory);
    for (int i = 0; i < scenario_.exitCount && i < scenario::kMaxExits; ++i) {
        scenario_.exits[static_cast<std::size_t>(i)] = settings.exits[static_cast<std::size_t>(i)];
    }
    for (int i = 0; i < scenario_.clusterCount && i < scenario::kMaxClusters; ++i) {
        scenario_.clusters[static_cast<std::size_t>(i)] =
            settings.clusters[static_cast<std::size_t>(i)];
    }
    build();
}

ProjectBuilder::~ProjectBuilder() {
    if (buffer_.is_open()) buffer_.close();
}

void ProjectBuilder::build() {
    std::error_code ec;
    if (!std::filesystem::is_directory(root_, ec)) {
        report_.failures.push_back({root_.string(), BuildStep::FindStartDirectory,
                                    ec ? ec.message() : std::string("not a directory"), {}});
        return;
    }
    for (Content c : {Content::ProjectDescriptor, Content::Workspace, Content::TemplateWorkspace}) {
        const std::string_view path = projectformat::fileMadeFrom(c).path;
        makeParentFolders(path);
        if (c == Content::ProjectDescriptor) writeProjectDescriptor(path);
        if (c == Content::Workspace) writeWorkspaceFile(path);
        if (c == Content::TemplateWorkspace) writeTemplateWorkspaceFile(path);
    }
    writeStateMachines();
    writeStartupScript();
    writeScriptLibrary();
    writeFilesBelow(".\\bProj\\Content\\");
}

void ProjectBuilder::writeStateMachines() { writeFilesBelow(".\\bProj\\StateMachines\\"); }

void ProjectBuilder::writeStartupScript() {
    const ProjectFile& file = projectformat::fileMadeFrom(Content::StartupScript);
    makeParentFolders(file.path);
    writeFile(file);
}

void ProjectBuilder::writeScriptLibrary() { writeFilesBelow(".\\bProj\\Vellico\\"); }

void ProjectBuilder::writeFilesBelow(std::string_view folder) {
    for (const ProjectFile& file : projectformat::projectFiles()) {
        if (!file.path.starts_with(folder) || file.content == Content::StartupScript) continue;
        makeParentFolders(file.path);
        writeFile(file);
    }
}

bool ProjectBuilder::inRefusedFolder(std::string_view systemPath) {
    std::string_view path = systemPath;
    if (path.starts_with(".\\")) path.remove_prefix(2);
    for (const std::string& refused : refusedFolders_) {
        if (path.starts_with(refused + "\\")) {
            report_.failures.push_back({std::string(systemPath), BuildStep::OpenForWriting,
                                        "its directory " + refused + " cannot be used", {}});
            return true;
        }
    }
    return false;
}

void ProjectBuilder::writeFile(const ProjectFile& file) {
    switch (file.content) {
        case Content::Template:
            copyFile(file.templatePath, file.path, false);
            return;
        case Content::Floor:
            copyFile(scenario_.floorPath, file.path, true);
            return;
        default:
            writeGenerated(file.path, generatedText(file.content, scenario_));
            return;
    }
}

void ProjectBuilder::makeParentFolders(std::string_view systemPath) {
    if (systemPath.starts_with(".\\")) systemPath.remove_prefix(2);
    for (std::size_t at = systemPath.find('\\'); at != std::string_view::npos;
         at = systemPath.find('\\', at + 1)) {
        const std::string folder(systemPath.substr(0, at));
        if (std::find(madeFolders_.begin(), madeFolders_.end(), folder) != madeFolders_.end())
            continue;
        madeFolders_.push_back(folder);
        // Inside a refused folder nothing is made: the folder may be a link
        // to somewhere outside the tree.
        const bool insideRefused =
            std::any_of(refusedFolders_.begin(), refusedFolders_.end(),
                        [&](const std::string& r) { return folder.starts_with(r + "\\"); });
        if (insideRefused || !makeDirectory(folder)) refusedFolders_.push_back(folder);
    }
}

void ProjectBuilder::open(std::string_view systemPath, std::ios_base::openmode mode) {
    if (buffer_.open(projectformat::hostPath(root_, systemPath), mode) == nullptr) {
        setstate(std::ios_base::failbit);
    } else {
        clear();
    }
}

void ProjectBuilder::close() {
    if (buffer_.close() == nullptr) setstate(std::ios_base::failbit);
}

bool ProjectBuilder::makeDirectory(std::string_view systemPath) {
    // A directory left by an earlier build is used as it is; a symbolic link
    // (even to a directory) or a file in its place is refused, so that
    // nothing is ever written outside the tree through it.
    const std::string why = platform::makeOwnFolder(projectformat::hostPath(root_, systemPath));
    if (why.empty()) return true;
    report_.failures.push_back({std::string(systemPath), BuildStep::CreateDirectory,
                                why.starts_with("cannot create") ? std::string() : why, {}});
    return false;
}

void ProjectBuilder::writeGenerated(std::string_view systemPath, std::string_view text) {
    // Below a directory that could not be made (or is a link), nothing.
    if (inRefusedFolder(systemPath)) return;
    // A file that holds the text already (a rebuild) is left as it is.
    std::string crlf;
    crlf.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') crlf.push_back('\r');
        crlf.push_back(c);
    }
    if (platform::holdsExactly(projectformat::hostPath(root_, systemPath), crlf)) return;
    clear();
    open(systemPath, std::ios_base::out | std::ios_base::trunc);
    const bool opened = is_open();
    const int openError = buffer_.lastError();
    write(text.data(), static_cast<std::streamsize>(text.size()));
    close();
    if (!opened) {
        report_.failures.push_back({std::string(systemPath), BuildStep::OpenForWriting,
                                    std::strerror(openError), {}});
    } else if (fail()) {
        report_.failures.push_back({std::string(systemPath), BuildStep::Write,
                                    std::strerror(buffer_.lastError()), {}});
    }
}

void ProjectBuilder::copyFile(std::string_view source, std::string_view destination,
                              bool isFloor) {
    if (inRefusedFolder(destination)) return;
    const CopyReport copy = copyHostFile(projectformat::hostPath(root_, source),
                                        projectformat::hostPath(root_, destination));
    BuildFailure problem{std::string(destination), BuildStep::CopyWrite, copy.cause, {}};
    switch (copy.failure) {
        case CopyProblem::None:
            return;
        case CopyProblem::SourceMissing:
        case CopyProblem::SourceUnreadable:
            problem = {std::string(source), isFloor ? BuildStep::ReadFloor : BuildStep::ReadTemplate,
                       copy.cause, std::string(destination)};
            break;
        case CopyProblem::DestinationUnopenable:
            problem.step = BuildStep::OpenForWriting;
            break;
        case CopyProblem::ReadFailed:
            problem.step = BuildStep::CopyRead;
            break;
        case CopyProblem::WriteFailed:
            break;
    }
    report_.failures.push_back(std::move(problem));
}

}  // namespace generator
