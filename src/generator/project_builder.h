#pragma once
// Writes the project tree bProj for the crowd-simulation runtime.

#include <array>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "generator/crlf_file_buffer.h"
#include "scenario/scenario_settings.h"

namespace generator {

// One step of a build that did not do its work: a file that could not be
// written, a template that could not be read, a directory that could not be
// entered. `path` is the system path of the file as the build names it.
struct BuildFailure {
    std::string path;
    std::string reason;
};

// The whole build happens in the constructor, in this order: make the start
// directory current; create bProj; the project descriptor; the two workspace
// files; bProj\StateMachines with the state machines and the event table;
// bProj\Vellico with the startup script and the script library; then the
// actor, floor and world scene files below bProj\Content.
//
//   generator::ProjectBuilder builder(settings);  // builds everything
//   for (const auto& f : builder.failures()) ...  // what did not work
//
// ProjectBuilder is a bidirectional stream over one file buffer that writes
// every generated file with CR LF line ends, whatever the platform. No step
// stops the build: a file that cannot be written is passed over, a missing
// template leaves an empty copy, and each such event is recorded in
// failures(). The start directory stays current afterwards.
class ProjectBuilder : public std::iostream {
  public:
    explicit ProjectBuilder(scenario::ScenarioSettings settings);
    ~ProjectBuilder() override;
    ProjectBuilder(const ProjectBuilder&) = delete;
    ProjectBuilder& operator=(const ProjectBuilder&) = delete;

    const std::vector<BuildFailure>& failures() const { return failures_; }

    // The stream's own file operations (as on a file stream). Paths are system
    // paths (".\bProj\something.spj"); open() sets the fail state when the
    // file cannot be opened, close() when closing fails or nothing was open.
    void open(std::string_view systemPath, std::ios_base::openmode mode);
    void close();
    bool is_open() const { return buffer_.is_open(); }

    // The writers, in build order. Three take the path they write; the others
    // write to fixed paths below bProj.
    void writeProjectDescriptor(std::string_view systemPath);
    void writeWorkspaceFile(std::string_view systemPath);
    void writeTemplateWorkspaceFile(std::string_view systemPath);
    void writeStateMachines();
    void writeStartupScript();
    void writeScriptLibrary();

  private:
    void build(const scenario::ScenarioSettings& settings);
    void makeDirectory(std::string_view systemPath);
    // The generated-file protocol: clear the state, open for output with
    // truncation in text mode, insert `text`, close; a failure is recorded.
    void writeGenerated(std::string_view systemPath, std::string_view text);
    void copyTemplate(std::string_view source, std::string_view destination,
                      const char* what = "template");

    CrLfFileBuffer buffer_;
    // The builder's own copies of the scenario: counts, flags, the first
    // exitCount exits and the first clusterCount clusters, the floor path,
    // the start directory and floorScale.
    scenario::ScenarioSettings scenario_;
    std::vector<BuildFailure> failures_;
};

// Convenience for callers that only want the outcome of a whole build.
std::vector<BuildFailure> buildProject(const scenario::ScenarioSettings& settings);

// Formats a real as the runtime expects: the single-precision value widened to
// double, %g with precision 6, "." as decimal point whatever the locale, a
// three-digit exponent, and never "-0".
std::string formatReal(float value);

// Every path the build writes, in build order (system paths relative to the
// start directory): 25 files.
const std::vector<std::string>& projectFiles();

}  // namespace generator
