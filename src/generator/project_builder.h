#pragma once
// Writes the project tree bProj for the crowd-simulation runtime.

#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "generator/crlf_file_buffer.h"
#include "projectformat/project_files.h"
#include "scenario/scenario_settings.h"

namespace generator {

// The step of a build that did not do its work.
enum class BuildStep {
    FindStartDirectory,  // the start directory is not a directory: nothing was written
    CreateDirectory,     // a folder of the tree could not be created, or a link or file is there
    OpenForWriting,      // a file of the tree could not be created or emptied
    Write,               // writing a generated file failed
    ReadTemplate,        // a template could not be opened: its copy was written empty
    ReadFloor,           // the floor file could not be opened: its copy was written empty
    CopyRead,            // reading a template or the floor failed part way through the copy
    CopyWrite,           // writing a copy failed
};

// One step of a build that did not do its work.
struct BuildFailure {
    // The file or folder as the build names it: a system path relative to the
    // start directory (".\bProj\something.spj", "bProj\Vellico"), the source
    // for ReadTemplate and ReadFloor, the start directory itself for
    // FindStartDirectory.
    std::string path;
    BuildStep step = BuildStep::Write;
    // The system's reason ("Permission denied"); empty for a source that does
    // not exist and for a folder that could not be created.
    std::string cause;
    // ReadTemplate and ReadFloor: the file of the tree that was written empty.
    std::string writtenEmpty;

    // The whole reason as one phrase, for messages ("could not open for
    // writing: Is a directory", "template missing; .\bProj\...\Wall.kvx was
    // written empty").
    std::string reason() const;
};

// What a whole build did not do; empty when every file was written.
struct BuildReport {
    std::vector<BuildFailure> failures;
    bool complete() const { return failures.empty(); }
};

// Builds the whole tree bProj below `root` (a host path; the scenario's
// startDirectory is not consulted) and reports what failed. The current
// directory is neither used nor changed: templates are read from
// root/unchanged, a relative floorPath is taken from `root`. No step stops
// the build: a file that cannot be written is passed over, a missing
// template leaves an empty copy, and each such event is in the report.
BuildReport buildProject(const scenario::ScenarioSettings& settings,
                         const std::filesystem::path& root);

// The builder behind buildProject: a bidirectional stream over one file
// buffer that writes every generated file with CR LF line ends, whatever the
// platform. The whole build happens in the constructor, in this order: create
// bProj; the project descriptor; the two workspace files;
// bProj\StateMachines with the state machines and the event table;
// bProj\Vellico with the startup script and the script library; then the
// actor, floor and world scene files below bProj\Content (the order of
// projectformat::projectFiles(); each folder is made just before its first
// file).
class ProjectBuilder : public std::iostream {
  public:
    // Builds below the scenario's startDirectory.
    explicit ProjectBuilder(scenario::ScenarioSettings settings);
    ProjectBuilder(scenario::ScenarioSettings settings, std::filesystem::path root);
    ~ProjectBuilder() override;
    ProjectBuilder(const ProjectBuilder&) = delete;
    ProjectBuilder& operator=(const ProjectBuilder&) = delete;

    const BuildReport& report() const { return report_; }
    const std::filesystem::path& root() const { return root_; }

    // The stream's own file operations (as on a file stream). Paths are system
    // paths below the root (".\bProj\something.spj"); open() sets the fail
    // state when the file cannot be opened, close() when closing fails or
    // nothing was open.
    void open(std::string_view systemPath, std::ios_base::openmode mode);
    void close();
    bool is_open() const { return buffer_.is_open(); }

    // The writers, in build order. Three take the path they write; the others
    // write their files of the project's file list.
    void writeProjectDescriptor(std::string_view systemPath);
    void writeWorkspaceFile(std::string_view systemPath);
    void writeTemplateWorkspaceFile(std::string_view systemPath);
    void writeStateMachines();
    void writeStartupScript();
    void writeScriptLibrary();

  private:
    void build();
    // Writes every file of the list whose path starts with `folder`, in list
    // order, leaving out the startup script.
    void writeFilesBelow(std::string_view folder);
    void writeFile(const projectformat::ProjectFile& file);
    void makeParentFolders(std::string_view systemPath);
    // False (and a failure reported) when the folder cannot be made or is
    // not a directory of its own.
    bool makeDirectory(std::string_view systemPath);
    // True (and a failure reported) when the file lies below a folder that
    // was refused: it is then not written.
    bool inRefusedFolder(std::string_view systemPath);
    // The generated-file protocol: clear the state, open for output with
    // truncation in text mode, insert `text`, close; a failure is recorded.
    void writeGenerated(std::string_view systemPath, std::string_view text);
    void copyFile(std::string_view source, std::string_view destination, bool isFloor);

    CrLfFileBuffer buffer_;
    // The builder's own copies of the scenario: counts, flags, the first
    // exitCount exits and the first clusterCount clusters, the floor path,
    // the start directory and floorScale.
    scenario::ScenarioSettings scenario_;
    std::filesystem::path root_;
    std::vector<std::string> madeFolders_;
    std::vector<std::string> refusedFolders_;  // nothing is written below these
    BuildReport report_;
};

}  // namespace generator
