// mvnrt: the crowd-escape runtime. Started by escape-setup with no arguments
// in the folder that holds bProj, it reads the project and simulates the
// escape; with --scenario it runs a generic scenario instead.
#include <exception>
#include <filesystem>
#include <new>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/command_line.h"
#include "platform/safe_output.h"
#include "recording/recorders.h"
#include "inputs/mvnrt_options.h"
#include "run/prepare.h"
#include "inputs/project.h"
#include "run/results_layout.h"
#include "run/run_lock.h"
#include "run/single_run.h"
#include "studies/slurm_submit.h"
#include "studies/many_runs.h"
#include "studies/sweep_study.h"
#ifdef ESCAPE_WITH_WINDOW
#include "viewer/viewer.h"
#endif

namespace {

// mvnrt's exit statuses (docs/mvnrt.md), chosen here and nowhere else: 0
// after a run, 1 when a result could not be written or a run of a study
// failed (the libraries return it), 2 for what the user got wrong, 4 when
// another runtime works in the same results folder.
constexpr int kStatusFailed = 1;
constexpr int kStatusBadInput = 2;
constexpr int kStatusBusy = 4;

// What the user got wrong, said on stderr: a command-line mistake with the
// pointer to --help, as escape-build says it.
int badInput(const platform::InputError& e) {
    if (e.kind() == platform::InputErrorKind::Usage)
        std::cerr << platform::usageErrorLine("mvnrt", e.what()) << "\n";
    else
        std::cerr << "mvnrt: " << platform::capped(e.what(), 1000) << "\n";
    return kStatusBadInput;
}

// The results root of a single run or a --runs study: --out, or the
// default folder of the project or scenario. Nothing when the run will not
// get that far (no project here): its input error comes first.
std::optional<std::filesystem::path> resultsRoot(const runtime::Options& opt) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (opt.out) {
        fs::create_directories(*opt.out, ec);
        if (!fs::is_directory(*opt.out, ec))
            throw platform::OutputError(platform::capped(*opt.out) +
                                        ": cannot create the results folder" +
                                        (ec ? ": " + ec.message() : std::string()));
        return fs::path(*opt.out);
    }
    const fs::path root = runtime::defaultResultsRoot(opt);
    if (!fs::is_directory(root.parent_path().empty() ? fs::path(".") : root.parent_path(), ec))
        return std::nullopt;
    platform::requireFolder(root);
    return root;
}

int runMain(int argc, char** argv) {
#ifdef ESCAPE_WITH_WINDOW
    // The window's application object ends with this function, never in the
    // exit handlers (where closing an error box crashed).
    const viewer::ApplicationScope gui;
#endif
    runtime::Options opt;
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        opt = runtime::parseOptions(args);
    } catch (const platform::InputError& e) {
        return badInput(e);
    }
    if (opt.help) {
        std::cout << runtime::usageText();
        return 0;
    }

#ifdef ESCAPE_WITH_WINDOW
    // With a display one run is shown in a window (and errors in a message
    // box); the runs of a sweep never are.
    const bool window =
        !opt.headless && !opt.manyRuns() && !opt.atomicOut && !opt.sweepFile && !opt.sweepTask &&
        !opt.collect && viewer::displayAvailable();
    if (opt.replay) {
        if (!window) {
            return badInput(platform::usageError("--replay needs a display"));
        }
        return viewer::replayInWindow(*opt.replay);
    }
#else
    const bool window = false;
    if (opt.replay) {
        return badInput(
            platform::usageError("--replay needs the window, which this build does not have"));
    }
#endif
    runtime::PreparedRun prep;
    // One runtime per results folder at a time (run_lock.h); the runs of a
    // study and of a sweep work in folders their parent holds.
    std::optional<runtime::RunLock> lock;
    try {
        if (opt.collect && !opt.manyRuns() && runtime::hasPlan(*opt.collect))
            return runtime::collectSweepRoot(*opt.collect, opt.quiet);
        if (opt.collect) return runtime::collectSweep(opt);
        if (opt.sweepTask) return runtime::runSweepTask(opt);
        if (opt.sweepFile)
            return opt.submit ? runtime::submitSweep(opt) : runtime::runSweepFile(opt);
        // The inputs first: a project or scenario that cannot be run is said
        // before anything is made in its results folder.
        if (opt.manyRuns()) {
            runtime::Options first = opt;
            first.seed = runtime::sweepSeeds(opt).front();
            (void)runtime::prepareRun(first);
        } else {
            prep = runtime::prepareRun(opt);
        }
        recording::refuseUnwritableRequests(opt);
        std::optional<std::filesystem::path> root;
        if (!opt.atomicOut) {
            root = resultsRoot(opt);
            if (root) lock.emplace(*root);
            if (lock && lock->tookOver().pid > 0 && !opt.quiet)
                std::cout << "mvnrt: took over the lock of " << root->string()
                          << " left by process " << lock->tookOver().pid << " (started "
                          << lock->tookOver().started << "), which has ended\n";
        }
        if (opt.manyRuns()) return runtime::runSweep(opt, args);
        // Each single run in a folder of its own below the results root,
        // unless the user named the folder.
        const bool ownFolder = !opt.out && root.has_value();
        if (ownFolder) prep.outDir = runtime::makeRunFolder(*root, runtime::kSingleRunKind);
        auto ended = [&](int status) {
            // `latest` names the last run that ran to its end.
            if (ownFolder && status == 0) {
                const std::string problem = runtime::pointLatest(*root, prep.outDir);
                if (!problem.empty()) std::cerr << "mvnrt: " << problem << "\n";
            }
            if (status == runtime::kStatusStoppedByUser && !opt.quiet)
                std::cout << "mvnrt: stopped by the user; the results of the stopped run are in "
                          << (ownFolder || opt.atomicOut ? prep.outDir
                                                         : runtime::stoppedFolderBeside(prep.outDir))
                                 .string()
                          << (ownFolder ? " (latest still names the last complete run)"
                                        : "; the folder named keeps its last complete results")
                          << "\n";
            return status;
        };
        const recording::RecordingPlan plan = recording::planRecordings(prep, opt);
        runtime::RunHooks hooks;
        hooks.resultFiles = plan.resultFiles;
        const auto motion = recording::makeMotionRecorder(plan, prep);
        if (motion) hooks.sinks.push_back(motion.get());
        const auto movie = recording::makeMovieRecorder(plan, prep, opt);
        if (movie) hooks.sinks.push_back(movie.get());
        if (opt.atomicOut) return runtime::runIntoFreshFolder(prep, opt, hooks).status;
#ifdef ESCAPE_WITH_WINDOW
        if (window) return ended(viewer::runWithWindow(prep, opt, hooks));
#endif
        return ended(runtime::runPrepared(prep, opt, hooks).status);
    } catch (const runtime::ResultsBusy& e) {
        std::cerr << "mvnrt: " << platform::capped(e.what(), 1000) << "\n";
#ifdef ESCAPE_WITH_WINDOW
        if (window) viewer::showErrorBox(platform::capped(e.what(), 1000));
#endif
        return kStatusBusy;
    } catch (const platform::InputError& e) {
#ifdef ESCAPE_WITH_WINDOW
        if (window) viewer::showErrorBox(platform::capped(e.what(), 1000));
#endif
        return badInput(e);
    } catch (const std::invalid_argument& e) {
        std::cerr << "mvnrt: " << platform::capped(prep.meta.source) << ": "
                  << platform::capped(e.what()) << "\n";
        return kStatusBadInput;
    }
}

}  // namespace

// Whatever escapes a run ends here with one capped message: 2 for input
// that cannot be used, 1 for anything else (a file or folder of the
// results, the system, memory).
int main(int argc, char** argv) {
    auto fail = [](std::string_view what, int status) {
        std::cerr << "mvnrt: " << platform::capped(what, 1000) << "\n";
        return status;
    };
    try {
        return runMain(argc, argv);
    } catch (const platform::InputError& e) {
        return badInput(e);
    } catch (const std::filesystem::filesystem_error& e) {
        return fail(e.what(), kStatusFailed);
    } catch (const std::bad_alloc&) {
        return fail("out of memory", kStatusFailed);
    } catch (const std::exception& e) {
        return fail(e.what(), kStatusFailed);
    } catch (...) {
        return fail("stopped by an unknown error", kStatusFailed);
    }
}
