#include "studies/many_runs.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <thread>

#include "analysis/sweep_results.h"
#include "scenario/build_record.h"
#include "platform/number_text.h"
#include "platform/owned_entries.h"
#include "platform/safe_input.h"
#include "platform/safe_output.h"
#include "projectformat/project_files.h"
#include "inputs/project.h"
#include "run/results_folder.h"
#include "run/results_layout.h"
#include "studies/run_pool.h"
#include "studies/sweep_report.h"

namespace runtime {

namespace fs = std::filesystem;

namespace {

std::atomic<bool> gStop{false};

extern "C" void onStopSignal(int) { gStop.store(true); }

// Options of the sweep itself, with whether each takes a value.
struct SweepOption {
    const char* name;
    bool value;
};
constexpr SweepOption kSweepOptions[] = {
    {"--runs", true},        {"--seeds", true},      {"--jobs", true}, {"--resume", false},
    {"--run-timeout", true}, {"--out", true},        {"--seed", true}, {"--quiet", false},
    {"-q", false},           {"--atomic-out", false}};

std::string partialPrefix(const std::string& folderName) {
    std::string prefix = ".";
    prefix.append(folderName).append(".partial-");
    return prefix;
}

// Removes what unfinished runs left under `root`: what is ours in their
// temporary folders (platform::clearOwnedFolder; anything else stays).
void removePartials(const fs::path& root, const std::string& prefix) {
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(root, ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(prefix, 0) == 0) platform::clearOwnedFolder(e.path());
    }
}

std::string logName(std::uint64_t seed) {
    std::string name = ".";
    name.append(analysis::runFolderName(seed)).append(".log");
    return name;
}

// Writes runs.json, statistics.json and report.html of ROOT and prints the
// closing lines. Returns 1 when the aggregate could not be written.
int aggregate(const fs::path& root, const RunMeta& meta, const std::vector<std::uint64_t>& seeds,
              double runSeconds, bool quiet, analysis::SweepStatistics* statsOut = nullptr,
              double* runSecondsSum = nullptr, const VariantLabel* variant = nullptr) {
    const auto started = std::chrono::steady_clock::now();
    analysis::SweepStatistics stats;
    std::vector<std::string> written;
    try {
        const std::vector<analysis::RunRecord> records =
            analysis::collectAndWrite(root, seeds, &stats);
        if (runSecondsSum)
            for (const analysis::RunRecord& r : records) *runSecondsSum += r.wallSeconds;
        written = {"runs.json", "statistics.json"};
        const std::string reportProblem = writeSweepReport(root, meta, records, stats, variant);
        if (reportProblem.empty())
            written.push_back("report.html");
        else
            std::cerr << "mvnrt: " << reportProblem << "\n";
    } catch (const std::exception& e) {
        std::cerr << "mvnrt: " << e.what() << "\n";
        return 1;
    }
    const double aggregateSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!quiet) std::cout << sweepText(stats, runSeconds, aggregateSeconds, root, written);
    if (statsOut) *statsOut = stats;
    return 0;
}

}  // namespace

std::vector<std::uint64_t> sweepSeeds(const Options& opt) {
    std::vector<std::uint64_t> seeds;
    const std::uint64_t first = opt.firstSeed.value_or(1);
    const std::uint64_t last = opt.lastSeed.value_or(first + opt.runs.value_or(1) - 1);
    for (std::uint64_t s = first; s <= last; ++s) seeds.push_back(s);
    return seeds;
}

std::vector<std::string> runArguments(const std::vector<std::string>& sweepArgs, std::uint64_t seed,
                                      const fs::path& folder) {
    std::vector<std::string> out;
    bool fpsGiven = false, threadsGiven = false, headlessGiven = false;
    for (std::size_t i = 0; i < sweepArgs.size(); ++i) {
        const std::string& a = sweepArgs[i];
        bool dropped = false;
        for (const SweepOption& o : kSweepOptions) {
            if (a != o.name) continue;
            dropped = true;
            if (o.value) ++i;
            break;
        }
        if (dropped) continue;
        fpsGiven = fpsGiven || a == "--fps";
        threadsGiven = threadsGiven || a == "--threads";
        headlessGiven = headlessGiven || a == "--headless";
        out.push_back(a);
    }
    out.insert(out.end(), {"--seed", std::to_string(seed), "--out", folder.string(), "--atomic-out",
                           "--quiet"});
    if (!fpsGiven) out.insert(out.end(), {"--fps", "0"});
    // The runs themselves fill the cores.
    if (!threadsGiven) out.insert(out.end(), {"--threads", "1"});
    // A run of a sweep never opens a window, wherever it runs.
    if (!headlessGiven) out.push_back("--headless");
    return out;
}

std::string runFingerprint(const Options& opt) {
    // FNV-1a, 64 bits: a check against mixing, not against an adversary.
    std::uint64_t h = 0xcbf29ce484222325ull;
    auto add = [&h](std::string_view bytes) {
        for (unsigned char c : bytes) {
            h ^= c;
            h *= 0x100000001b3ull;
        }
        h ^= 0xff;  // a separator no text of one byte could be confused with
        h *= 0x100000001b3ull;
    };
    add("mvnrt run 1");
    fs::path input;
    if (opt.scenario) {
        add("scenario");
        input = *opt.scenario;
    } else {
        add("project");
        const fs::path start = fs::path(opt.project.value_or("."));
        input = projectformat::hostPath(
            start, projectformat::fileMadeFrom(projectformat::Content::StartupScript).path);
        // The floor and the build's scenario record (the roles typed) decide
        // a project's runs as much as its script does.
        for (const fs::path& also :
             {projectformat::hostPath(start, projectformat::fileMadeFrom(projectformat::Content::Floor).path),
              start / scenario::kBuildRecordName}) {
            try {
                add(platform::readRegularFile(also, 256ull << 20));
            } catch (const std::exception&) {
                add("(none)");
            }
        }
    }
    try {
        add(platform::readRegularFile(input, 256ull << 20));
    } catch (const std::exception&) {
        add("(unreadable)");
    }
    add(opt.timeLimit ? platform::fixedText(*opt.timeLimit, 6) : "-");
    add(opt.preMovement.value_or("-"));
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
    return std::string(hex) + " seed " + std::to_string(opt.seed.value_or(1));
}

std::vector<std::uint64_t> runSeedsIn(const fs::path& root) {
    std::vector<std::uint64_t> seeds;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(root, ec)) {
        const std::string entry = e.path().filename().string();
        std::string name = entry;
        const std::string failed = ".failed";
        if (name.size() > failed.size() &&
            name.compare(name.size() - failed.size(), failed.size(), failed) == 0)
            name.resize(name.size() - failed.size());
        if (name.rfind("run-", 0) != 0 || name.size() == 4 ||
            name.find_first_not_of("0123456789", 4) != std::string::npos)
            continue;
        std::uint64_t seed = 0;
        const char* first = name.data() + 4;
        const char* last = name.data() + name.size();
        const auto r = std::from_chars(first, last, seed);
        if (r.ec != std::errc() || r.ptr != last)
            throw InputError(platform::capped((root / entry).string()) +
                             ": names no seed mvnrt can run (seeds go from 0 to " +
                             std::to_string(UINT64_MAX) + "); move it away to collect the others");
        seeds.push_back(seed);
    }
    if (ec)
        throw InputError(platform::capped(root.string()) + ": cannot be read: " + ec.message());
    std::sort(seeds.begin(), seeds.end());
    seeds.erase(std::unique(seeds.begin(), seeds.end()), seeds.end());
    return seeds;
}

int collectSweep(const Options& opt) {
    const fs::path root(*opt.collect);
    std::vector<std::uint64_t> seeds;
    if (opt.manyRuns()) {
        seeds = sweepSeeds(opt);
    } else {
        seeds = runSeedsIn(root);
    }
    if (seeds.empty()) {
        std::cerr << "mvnrt: " << platform::capped(root.string())
                  << ": holds no run folders (run-K) to collect\n";
        return 2;
    }
    analysis::SweepStatistics stats;
    if (collectRuns(root, seeds, opt.quiet, &stats, nullptr) != 0) return 1;
    return stats.failed + stats.timedOut + stats.missing > 0 ? 1 : 0;
}

int collectRuns(const fs::path& root, const std::vector<std::uint64_t>& seeds, bool quiet,
                analysis::SweepStatistics* stats, double* runSecondsSum,
                const VariantLabel* variant) {
    // Runs of other inputs are never averaged with these: every finished run
    // must carry the fingerprint of the first one, and its own seed.
    std::string expected;
    std::vector<std::string> mixed;
    for (std::uint64_t seed : seeds) {
        const fs::path folder = root / analysis::runFolderName(seed);
        if (!analysis::runFinished(root, seed)) continue;
        const std::string note = platform::ownedNote(folder, "fingerprint");
        const std::string inputs = note.substr(0, note.find(' '));
        if (expected.empty()) expected = inputs.empty() ? "(none)" : inputs;
        if ((inputs.empty() ? "(none)" : inputs) != expected ||
            note.substr(note.find(' ') == std::string::npos ? note.size() : note.find(' ')) !=
                (inputs.empty() ? "" : " seed " + std::to_string(seed)))
            mixed.push_back(analysis::runFolderName(seed));
    }
    if (!mixed.empty()) {
        std::cerr << "mvnrt: " << platform::capped(root.string()) << ": ";
        for (std::size_t i = 0; i < mixed.size() && i < 10; ++i)
            std::cerr << (i ? ", " : "") << mixed[i];
        if (mixed.size() > 10) std::cerr << " and " << mixed.size() - 10 << " more";
        std::cerr << (mixed.size() == 1 ? " differs" : " differ") << " from the first run in scenario, parameters or seed (the "
                     "fingerprint in their folder's .mvnrt-results); nothing was averaged\n";
        return 1;
    }
    // What the runs were of, from the first finished one.
    RunMeta meta;
    for (std::uint64_t seed : seeds) {
        try {
            const nlohmann::json j = nlohmann::json::parse(platform::readRegularFile(
                root / analysis::runFolderName(seed) / "summary.json", 512ull << 20));
            meta.mode = j.value("mode", "");
            meta.source = j.value("source", "");
            meta.name = j.value("name", "");
            meta.timeLimit = j.value("timeLimit", 0.0);
            for (const nlohmann::json& e : j.at("exits"))
                meta.exitNames.push_back(e.value("name", ""));
            break;
        } catch (const std::exception&) {
            continue;
        }
    }
    return aggregate(root, meta, seeds, 0.0, quiet, stats, runSecondsSum, variant);
}

SingleRunResult runIntoFreshFolder(PreparedRun prep, const Options& opt, const RunHooks& hooks) {
    // The folder by its own name ("." and "dir/" name their folder), so that
    // the new one is made beside it, not in it.
    fs::path final = fs::absolute(prep.outDir).lexically_normal();
    if (final.filename().empty() && final.has_parent_path() && final != final.root_path())
        final = final.parent_path();
    SingleRunResult r;
    if (final.filename().empty() || final == final.root_path()) {
        std::cerr << "mvnrt: " << platform::capped(prep.outDir.string())
                  << ": --atomic-out needs a folder with a parent folder to make the run in\n";
        r.status = 2;
        return r;
    }
    const fs::path temp = final.parent_path() /
                          (partialPrefix(final.filename().string()) + std::to_string(::getpid()));
    platform::clearOwnedFolder(temp);
    prep.outDir = temp;
    r = runPrepared(prep, opt, hooks);
    auto fail = [&](const std::string& why) {
        std::cerr << "mvnrt: " << why << "\n";
        platform::clearOwnedFolder(temp);
        r.status = 1;
        return r;
    };
    if (r.status != 0)
        return fail(platform::capped(final.string()) +
                    ": the run's results are incomplete; nothing was kept");
    const std::string noted = platform::setOwnedNote(temp, "fingerprint", runFingerprint(opt));
    if (!noted.empty()) return fail(noted);
    // Our entries are renamed into place; whatever else is at --out stays.
    const std::string problem = platform::moveOwnedInto(temp, final);
    if (!problem.empty()) return fail(problem);
    return r;
}

bool clearRun(const fs::path& root, std::uint64_t seed) {
    std::error_code ec;
    const fs::path folder = root / analysis::runFolderName(seed);
    // Only this seed's leftovers: other runs in the same folder may be
    // going on (the tasks of a cluster).
    removePartials(root, partialPrefix(analysis::runFolderName(seed)));
    const fs::file_type type = fs::symlink_status(folder, ec).type();
    if (type != fs::file_type::not_found && type != fs::file_type::directory) {
        std::cerr << "mvnrt: " << platform::capped(folder.string())
                  << ": is there and is not the folder of a run; move it away\n";
        return false;
    }
    // The earlier run's results go; what the user put into its folder stays
    // (and so does the folder then).
    const platform::ClearedFolder cleared = platform::clearOwnedFolder(folder);
    if (!cleared.problem.empty()) {
        std::cerr << "mvnrt: " << cleared.problem << "\n";
        return false;
    }
    // The failure record of the earlier run: only one mvnrt wrote (a record
    // of this seed), never a file the user gave that name.
    try {
        const fs::path record = root / analysis::failureRecordName(seed);
        const nlohmann::json j = nlohmann::json::parse(platform::readRegularFile(record, 1 << 16));
        if (j.is_object() && j.value("seed", std::uint64_t{0}) == seed && j.contains("status"))
            platform::removeFile(record);
    } catch (const std::exception&) {
    }
    return true;
}

std::optional<StudiesOutcome> runStudies(const std::vector<Study>& studies, const Options& opt,
                                         const std::string& what) {
    std::error_code ec;
    struct Slot {
        std::size_t study;
        std::uint64_t seed;
    };
    std::vector<Slot> slots;  // by job key
    std::vector<std::string> foreignRuns;
    std::vector<ChildJob> jobs;
    StudiesOutcome outcome;
    double timeLimit = 0.0;
    for (std::size_t s = 0; s < studies.size(); ++s) {
        const Study& study = studies[s];
        timeLimit = std::max(timeLimit, study.timeLimit);
        for (std::uint64_t seed : study.seeds) {
            const fs::path folder = study.root / analysis::runFolderName(seed);
            if (opt.resume && analysis::runFinished(study.root, seed)) {
                // Kept only when made of the same inputs, parameters and seed.
                const Options run = parseOptions(runArguments(study.args, seed, folder));
                if (platform::ownedNote(folder, "fingerprint") != runFingerprint(run))
                    foreignRuns.push_back(folder.string());
                ++outcome.kept;
                continue;
            }
            if (!clearRun(study.root, seed)) return std::nullopt;
            jobs.push_back({slots.size(), runArguments(study.args, seed, folder),
                            study.root / logName(seed)});
            slots.push_back({s, seed});
        }
    }
    outcome.started = jobs.size();
    if (!foreignRuns.empty()) {
        std::cerr << "mvnrt: --resume keeps only runs of the same scenario, parameters and seed; ";
        for (std::size_t i = 0; i < foreignRuns.size() && i < 10; ++i)
            std::cerr << (i ? ", " : "") << platform::capped(foreignRuns[i]);
        if (foreignRuns.size() > 10) std::cerr << " and " << foreignRuns.size() - 10 << " more";
        std::cerr << (foreignRuns.size() == 1 ? " was" : " were")
                  << " made of other inputs (or by an mvnrt that kept no fingerprint); run "
                     "without --resume to make them anew, or choose another --out\n";
        return std::nullopt;
    }

    PoolOptions pool;
    // This very program, even when its file has been replaced meanwhile (a
    // rebuild): every run of the sweep is made by the same code.
    pool.executable = "/proc/self/exe";
    const unsigned cores = std::thread::hardware_concurrency();
    pool.jobs = opt.jobs > 0 ? opt.jobs : static_cast<int>(cores > 0 ? cores : 1);
    outcome.jobs = pool.jobs;
    pool.wallLimit = opt.runTimeout.value_or(60.0 + 2.0 * timeLimit);
    pool.stop = &gStop;
    const bool terminal = !opt.quiet && ::isatty(STDOUT_FILENO);
    std::size_t done = 0;
    pool.onDone = [&](const ChildOutcome& o) {
        ++done;
        outcome.processSeconds += o.wallSeconds;
        const Slot& slot = slots[o.key];
        const fs::path& root = studies[slot.study].root;
        const fs::path log = root / logName(slot.seed);
        const std::string name = analysis::runFolderName(slot.seed);
        if (o.kind == ChildOutcome::Kind::Ok) {
            if (fs::file_size(log, ec) > 0 && !ec &&
                platform::claimNames(root / name, {"messages.txt"}).empty())
                fs::rename(log, root / name / "messages.txt", ec);
        } else {
            removePartials(root, partialPrefix(name));
            if (o.kind == ChildOutcome::Kind::Failed || o.kind == ChildOutcome::Kind::TimedOut) {
                ++outcome.failed;
                analysis::writeFailureRecord(root, slot.seed,
                                             o.kind == ChildOutcome::Kind::TimedOut
                                                 ? analysis::RunStatus::TimedOut
                                                 : analysis::RunStatus::Failed,
                                             o.detail);
                if (terminal) std::printf("\r%70s\r", "");
                std::cerr << "mvnrt: "
                          << platform::capped((studies.size() > 1 ? root / name : fs::path(name))
                                                  .string())
                          << " (seed " << slot.seed << ") "
                          << (o.kind == ChildOutcome::Kind::TimedOut ? "timed out" : "failed")
                          << ": " << o.detail << "\n";
            }
        }
        platform::removeFile(log);
        if (terminal) {
            std::printf("\r  %zu of %zu runs done%s   ", done, jobs.size(),
                        outcome.failed ? (", " + std::to_string(outcome.failed) + " failed").c_str()
                                       : "");
            std::fflush(stdout);
        }
    };

    struct sigaction act {
    }, oldInt{}, oldTerm{};
    act.sa_handler = onStopSignal;
    sigemptyset(&act.sa_mask);
    sigaction(SIGINT, &act, &oldInt);
    sigaction(SIGTERM, &act, &oldTerm);
    const auto started = std::chrono::steady_clock::now();
    if (!opt.quiet)
        std::cout << "mvnrt: " << what << ", " << pool.jobs << " at a time"
                  << (outcome.kept ? ", " + std::to_string(outcome.kept) + " finished before"
                                   : std::string())
                  << ")\n"
                  << std::flush;
    runChildren(jobs, pool);
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    outcome.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    outcome.stopped = gStop.load();
    if (terminal) std::printf("\r%70s\r", "");
    return outcome;
}

int runSweep(const Options& opt, const std::vector<std::string>& args) {
    const std::vector<std::uint64_t> seeds = sweepSeeds(opt);
    // The inputs are read once here, so that a mistake in them is said once
    // and not by every run.
    Options first = opt;
    first.seed = seeds.front();
    const PreparedRun prep = prepareRun(first);
    // A study writes into a folder of its own below the results root
    // (results_layout.h); --resume continues the newest one. A folder the
    // user named is used as it is.
    fs::path root = prep.outDir;
    if (!opt.out) {
        const std::optional<fs::path> newest =
            opt.resume ? newestRunFolder(root, kManyRunsKind) : std::nullopt;
        root = newest ? *newest : makeRunFolder(root, kManyRunsKind);
    }
    // Throws platform::OutputError when the folder cannot be used or holds
    // files of these names that mvnrt did not write.
    const ResultsFolder folder(root, opt.out.has_value(),
                               {"runs.json", "statistics.json", "report.html"});
    const Study study{root, seeds, args, prep.setup.timeLimit};
    const std::optional<StudiesOutcome> outcome = runStudies(
        {study}, opt,
        std::to_string(seeds.size()) + " runs of " + prep.meta.mode + " " + prep.meta.source +
            " (seeds " + std::to_string(seeds.front()) + "-" + std::to_string(seeds.back()));
    if (!outcome) return 1;

    const int status = aggregate(root, prep.meta, seeds, outcome->wallSeconds, opt.quiet);
    if (status != 0) return status;
    if (outcome->stopped) {
        std::cerr << "mvnrt: stopped; the finished runs are kept, --resume continues the sweep\n";
        return 130;
    }
    return outcome->failed > 0 ? 1 : 0;
}

}  // namespace runtime
