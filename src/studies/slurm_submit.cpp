#include "studies/slurm_submit.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <iostream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <vector>

#include "platform/safe_output.h"
#include "platform/shell_words.h"
#include "inputs/project.h"
#include "run/results_folder.h"
#include "studies/sweep_study.h"

extern char** environ;

namespace runtime {

namespace fs = std::filesystem;

using platform::shellWord;

namespace {

constexpr const char* kArrayScript = "sweep.sbatch";
constexpr const char* kCollectScript = "collect.sbatch";
constexpr const char* kSubmission = "submission.json";
constexpr const char* kLogFolder = "slurm-logs";

struct Command {
    int status = -1;
    std::string out;
};

// Runs `args` (found on PATH) and returns its status and standard output;
// its standard error goes to ours, so that the user sees sbatch's reasons.
Command runCommand(const std::vector<std::string>& args) {
    Command c;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return c;
    std::vector<std::string> text = args;
    std::vector<char*> argv;
    for (std::string& a : text) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        std::cerr << "mvnrt: " << args[0] << ": cannot be started: " << std::strerror(rc) << "\n";
        return c;
    }
    char buf[4096];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        if (c.out.size() < (1u << 20)) c.out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    c.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return c;
}

// Characters a Slurm directive or a file name pattern would misread.
bool usableInDirective(const std::string& path) {
    return path.find_first_of(" \t\r\n'\"%\\$`") == std::string::npos;
}

std::string arrayScriptText(const std::string& mvnrt, const SweepPlan& plan,
                            const std::string& array, const Options& opt) {
    const std::string root = plan.root.string();
    std::string t = "#!/bin/bash\n";
    t += "# The runs of the sweep " + shellWord(plan.sweepFile, "the sweep file's path") +
         ", one job array.\n";
    t += "# Task K makes the runs of task K in tasks.tsv. To run tasks again by hand:\n";
    t += "#   sbatch --array=3,5 " +
         shellWord((plan.root / kArrayScript).string(), "the results root (--out)") + "\n";
    t += "#SBATCH --job-name=mvnrt-sweep\n";
    t += "#SBATCH --array=" + array + "\n";
    t += "#SBATCH --output=" + root + "/" + kLogFolder + "/task-%A_%a.out\n";
    t += "#SBATCH --ntasks=1\n#SBATCH --cpus-per-task=1\n";
    if (opt.partition) t += "#SBATCH --partition=" + *opt.partition + "\n";
    if (opt.wallTime) t += "#SBATCH --time=" + *opt.wallTime + "\n";
    t += "echo \"mvnrt task ${SLURM_ARRAY_TASK_ID} of job ${SLURM_ARRAY_JOB_ID} started at "
         "$(date +%s.%N) on $(hostname)\"\n";
    t += "exec " + shellWord(mvnrt, "the path of mvnrt") + " --sweep-task " +
         shellWord(root, "the results root (--out)") + " --task-index \"${SLURM_ARRAY_TASK_ID}\"\n";
    return t;
}

std::string collectScriptText(const std::string& mvnrt, const SweepPlan& plan, const Options& opt) {
    const std::string root = plan.root.string();
    std::string t = "#!/bin/bash\n";
    t += "# The aggregate of the sweep " + shellWord(plan.sweepFile, "the sweep file's path") +
         ": sweep.csv, sweep.json and\n";
    t += "# each variant's statistics, with the runs missing or failed named by task.\n";
    t += "#SBATCH --job-name=mvnrt-collect\n";
    t += "#SBATCH --output=" + root + "/" + kLogFolder + "/collect-%j.out\n";
    t += "#SBATCH --ntasks=1\n#SBATCH --cpus-per-task=1\n";
    if (opt.partition) t += "#SBATCH --partition=" + *opt.partition + "\n";
    t += "exec " + shellWord(mvnrt, "the path of mvnrt") + " --collect " +
         shellWord(root, "the results root (--out)") + "\n";
    return t;
}

}  // namespace

std::string parsableJobId(const std::string& output) {
    std::string line = output.substr(0, output.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string id = line.substr(0, line.find(';'));
    if (id.empty() || id.size() > 20 || id.find_first_not_of("0123456789") != std::string::npos)
        throw std::runtime_error("sbatch gave no job id (its output: \"" +
                                 platform::capped(output, 200) + "\")");
    return id;
}

int submitSweep(const Options& opt) {
    SweepDefinition sweep = loadSweepFile(*opt.sweepFile);
    if (opt.out) sweep.root = fs::absolute(*opt.out).lexically_normal();
    if (!usableInDirective(sweep.root.string()))
        throw InputError(platform::capped(sweep.root.string()) +
                         ": a results root for Slurm needs a path without blanks, quotes, '%', "
                         "'$' or '\\'");
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    const std::string mvnrt = ec ? std::string("mvnrt") : self.string();
    // What goes into the scripts is refused before anything is written.
    shellWord(fs::absolute(sweep.file).lexically_normal().string(), "the sweep file's path");
    shellWord(sweep.root.string(), "the results root (--out)");
    shellWord(mvnrt, "the path of mvnrt");
    const std::optional<SweepPlan> plan =
        setUpSweepRoot(sweep, static_cast<std::size_t>(opt.runsPerTask), opt.resume,
                       {kArrayScript, kCollectScript, kSubmission});
    if (!plan) return 1;
    platform::requireFolder(plan->root / kLogFolder);  // a folder of its own, not a link

    // The tasks to submit: all of them, or with --resume those with a run
    // not finished.
    std::vector<std::size_t> tasks;
    if (opt.resume) {
        for (const TaskRun& r : unfinishedRuns(*plan))
            if (tasks.empty() || tasks.back() != r.task) tasks.push_back(r.task);
    } else {
        for (std::size_t k = 0; k < taskCount(*plan); ++k) tasks.push_back(k);
    }
    std::string array = indexRanges(tasks);
    if (opt.maxParallel > 0) array.append(1, '%').append(std::to_string(opt.maxParallel));

    const ResultsFolder root(plan->root, true, {kArrayScript, kCollectScript, kSubmission});
    for (const auto& [name, text] :
         {std::pair{kArrayScript, arrayScriptText(mvnrt, *plan, array, opt)},
          std::pair{kCollectScript, collectScriptText(mvnrt, *plan, opt)}}) {
        const std::string problem = root.write(name, text);
        if (!problem.empty()) throw platform::OutputError(problem);
    }

    const auto submittedAt = std::chrono::system_clock::now();
    std::string arrayJob;
    if (!tasks.empty()) {
        // --array on the command line as well: the script's line holds the
        // same; sbatch takes the command line's.
        const Command c = runCommand(
            {"sbatch", "--parsable", "--array=" + array, (root / kArrayScript).string()});
        if (c.status != 0) {
            std::cerr << "mvnrt: "
                      << (c.status < 0 ? std::string("sbatch could not be run (Slurm's client "
                                                     "programs are needed on this machine)")
                                       : "sbatch refused the job array (status " +
                                             std::to_string(c.status) + ")")
                      << "; nothing was submitted\n";
            return 1;
        }
        arrayJob = parsableJobId(c.out);
    }
    std::vector<std::string> collect = {"sbatch", "--parsable"};
    if (!arrayJob.empty()) collect.push_back("--dependency=afterany:" + arrayJob);
    collect.push_back((root / kCollectScript).string());
    const Command c = runCommand(collect);
    if (c.status != 0) {
        std::cerr << "mvnrt: sbatch refused the aggregation job (status " << c.status << ")"
                  << (arrayJob.empty() ? "" : "; the job array " + arrayJob + " was submitted, ")
                  << (arrayJob.empty() ? ""
                                       : "mvnrt --collect " + plan->root.string() +
                                             " writes the aggregate once it has run")
                  << "\n";
        return 1;
    }
    const std::string collectJob = parsableJobId(c.out);

    const double at = std::chrono::duration<double>(submittedAt.time_since_epoch()).count();
    const nlohmann::ordered_json record{{"arrayJob", arrayJob},
                                        {"collectJob", collectJob},
                                        {"tasks", indexRanges(tasks)},
                                        {"resumed", opt.resume},
                                        {"submittedAt", at}};
    const std::string problem = root.write(kSubmission, record.dump(2) + "\n");
    if (!problem.empty()) std::cerr << "mvnrt: " << problem << "\n";

    if (!opt.quiet) {
        std::size_t runs = 0;
        for (const PlannedVariant& v : plan->variants) runs += v.seeds.size();
        if (arrayJob.empty())
            std::cout << "mvnrt: every run of the sweep has finished; nothing to run again\n";
        else
            std::cout << "mvnrt: submitted job array " << arrayJob << ": tasks " << array << " ("
                      << (opt.resume ? "the unfinished of " : "") << runs << " runs of "
                      << plan->variants.size() << " variants, " << plan->runsPerTask
                      << (plan->runsPerTask == 1 ? " run" : " runs") << " a task)\n";
        std::cout << "mvnrt: submitted aggregation job " << collectJob
                  << (arrayJob.empty() ? "" : " (after job " + arrayJob + " has ended)") << "\n"
                  << "Results in " << plan->root.string() << ": sweep.csv and sweep.json once job "
                  << collectJob << " has run; logs in " << (plan->root / kLogFolder).string()
                  << "\n";
    }
    return 0;
}

}  // namespace runtime
