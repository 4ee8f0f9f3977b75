#include "generator/project_builder.h"

#include <charconv>
#include <cstring>
#include <system_error>
#include <utility>

#include "generator/template_copy.h"
#include "platform/platform.h"

namespace generator {

ProjectBuilder::ProjectBuilder(scenario::ScenarioSettings settings) : std::iostream(nullptr) {
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
    build(settings);
}

ProjectBuilder::~ProjectBuilder() {
    if (buffer_.is_open()) buffer_.close();
}

void ProjectBuilder::build(const scenario::ScenarioSettings& settings) {
    if (!platform::setCurrentDirectory(scenario_.startDirectory)) {
        failures_.push_back(
            {scenario_.startDirectory, "could not enter the start directory; building below " +
                                           platform::currentDirectory()});
    }

    for (int i = 0; i < scenario_.exitCount && i < scenario::kMaxExits; ++i) {
        scenario_.exits[static_cast<std::size_t>(i)] = settings.exits[static_cast<std::size_t>(i)];
    }
    for (int i = 0; i < scenario_.clusterCount && i < scenario::kMaxClusters; ++i) {
        scenario_.clusters[static_cast<std::size_t>(i)] =
            settings.clusters[static_cast<std::size_t>(i)];
    }

    makeDirectory("bProj");
    writeProjectDescriptor(".\\bProj\\something.spj");
    writeWorkspaceFile(".\\bProj\\something.sws");
    writeTemplateWorkspaceFile(".\\bProj\\template.sws");
    makeDirectory("bProj\\StateMachines");
    writeStateMachines();
    makeDirectory("bProj\\Vellico");
    writeStartupScript();
    writeScriptLibrary();
    makeDirectory("bProj\\Content");
    makeDirectory("bProj\\Content\\Actors");
    makeDirectory("bProj\\Content\\Actors\\Archer");
    copyTemplate(".\\unchanged\\Archer.kvx", ".\\bProj\\Content\\Actors\\Archer\\Archer.kvx");
    makeDirectory("bProj\\Content\\Actors\\Proxy");
    copyTemplate(".\\unchanged\\Proxy.kvx", ".\\bProj\\Content\\Actors\\Proxy\\Proxy.kvx");
    makeDirectory("bProj\\Content\\Actors\\Floor");
    copyTemplate(scenario_.floorPath, ".\\bProj\\Content\\Actors\\Floor\\Floor.kvx", "floor file");
    makeDirectory("bProj\\Content\\Actors\\Wall");
    copyTemplate(".\\unchanged\\Wall.kvx", ".\\bProj\\Content\\Actors\\Wall\\Wall.kvx");
    makeDirectory("bProj\\Content\\Worlds");
    copyTemplate(".\\unchanged\\world.kvx", ".\\bProj\\Content\\Worlds\\world.kvx");
}

void ProjectBuilder::open(std::string_view systemPath, std::ios_base::openmode mode) {
    if (buffer_.open(platform::nativePath(systemPath), mode) == nullptr) {
        setstate(std::ios_base::failbit);
    } else {
        clear();
    }
}

void ProjectBuilder::close() {
    if (buffer_.close() == nullptr) setstate(std::ios_base::failbit);
}

void ProjectBuilder::makeDirectory(std::string_view systemPath) {
    if (platform::createDirectory(systemPath)) return;
    // Not created: the normal case is a directory left by an earlier build.
    std::error_code ec;
    if (std::filesystem::is_directory(platform::nativePath(systemPath), ec)) return;
    failures_.push_back({std::string(systemPath), "could not create the directory"});
}

void ProjectBuilder::writeGenerated(std::string_view systemPath, std::string_view text) {
    clear();
    open(systemPath, std::ios_base::out | std::ios_base::trunc);
    const bool opened = is_open();
    const int openError = buffer_.lastError();
    write(text.data(), static_cast<std::streamsize>(text.size()));
    close();
    if (!opened) {
        failures_.push_back({std::string(systemPath), std::string("could not open for writing: ") +
                                                          std::strerror(openError)});
    } else if (fail()) {
        failures_.push_back({std::string(systemPath), std::string("could not write: ") +
                                                          std::strerror(buffer_.lastError())});
    }
}

void ProjectBuilder::copyTemplate(std::string_view source, std::string_view destination,
                                  const char* what) {
    const CopyReport report = TemplateCopy(source, destination);
    if (report.complete) return;
    if (!report.destinationOpened) {
        failures_.push_back({std::string(destination), report.problem});
    } else if (!report.sourceOpened) {
        // "source missing" or "source unreadable: why"
        std::string detail = report.problem.substr(report.problem.find(' ') + 1);
        failures_.push_back({std::string(source), std::string(what) + " " + detail + "; " +
                                                      std::string(destination) +
                                                      " was written empty"});
    } else {
        failures_.push_back({std::string(destination), report.problem});
    }
}

std::vector<BuildFailure> buildProject(const scenario::ScenarioSettings& settings) {
    ProjectBuilder builder(settings);
    return builder.failures();
}

std::string formatReal(float value) {
    const double widened = value;
    if (widened == 0.0) return "0";  // also -0.0: never "-0"
    char text[64];
    auto result = std::to_chars(text, text + sizeof text, widened, std::chars_format::general, 6);
    std::string out(text, result.ptr);
    // The runtime's conversion writes at least three exponent digits.
    auto e = out.find('e');
    if (e != std::string::npos && e + 2 <= out.size()) {
        std::size_t digits = out.size() - (e + 2);
        if (digits < 3) out.insert(e + 2, 3 - digits, '0');
    }
    return out;
}

const std::vector<std::string>& projectFiles() {
    static const std::vector<std::string> files = {
        ".\\bProj\\something.spj",
        ".\\bProj\\something.sws",
        ".\\bProj\\template.sws",
        ".\\bProj\\StateMachines\\handler.hfsm",
        ".\\bProj\\StateMachines\\handler.chfsm",
        ".\\bProj\\StateMachines\\cluster.hfsm",
        ".\\bProj\\StateMachines\\cluster.chfsm",
        ".\\bProj\\StateMachines\\events.evt",
        ".\\bProj\\Vellico\\startup.pc",
        ".\\bProj\\Vellico\\rtk.pc",
        ".\\bProj\\Vellico\\vellico.pti",
        ".\\bProj\\Vellico\\mocap.pc",
        ".\\bProj\\Vellico\\imgcap.pc",
        ".\\bProj\\Vellico\\helperdata.pcs",
        ".\\bProj\\Vellico\\helper.pc",
        ".\\bProj\\Vellico\\flock.pc",
        ".\\bProj\\Vellico\\drive_typeinfo.pti",
        ".\\bProj\\Vellico\\drive_event.pti",
        ".\\bProj\\Vellico\\drive_constants.pcs",
        ".\\bProj\\Vellico\\crowd.pc",
        ".\\bProj\\Content\\Actors\\Archer\\Archer.kvx",
        ".\\bProj\\Content\\Actors\\Proxy\\Proxy.kvx",
        ".\\bProj\\Content\\Actors\\Floor\\Floor.kvx",
        ".\\bProj\\Content\\Actors\\Wall\\Wall.kvx",
        ".\\bProj\\Content\\Worlds\\world.kvx",
    };
    return files;
}

}  // namespace generator
