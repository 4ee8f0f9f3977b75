#include "studies/run_pool.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <thread>

extern char** environ;

namespace runtime {

namespace {

using Clock = std::chrono::steady_clock;

struct Running {
    std::size_t index;
    Clock::time_point started;
    bool killed = false;  // by us, for the wall-clock bound or a stop
};

std::string logTail(const std::filesystem::path& log) {
    std::ifstream in(log, std::ios::binary);
    if (!in) return {};
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    const std::streamoff keep = std::min<std::streamoff>(size, 2000);
    in.seekg(size - keep);
    std::string text(static_cast<std::size_t>(keep), '\0');
    in.read(text.data(), keep);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

pid_t spawn(const std::string& exe, const ChildJob& job, std::string& problem) {
    std::vector<std::string> argvText;
    argvText.push_back(exe);
    argvText.insert(argvText.end(), job.args.begin(), job.args.end());
    std::vector<char*> argv;
    for (std::string& a : argvText) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string log = job.log.string();
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // The child starts with default signal handling whatever ours is.
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigdefault(&attr, &all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, exe.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        problem = exe + ": cannot be started: " + std::strerror(rc);
        return -1;
    }
    return pid;
}

}  // namespace

std::vector<ChildOutcome> runChildren(const std::vector<ChildJob>& jobs, const PoolOptions& opt) {
    std::vector<ChildOutcome> out(jobs.size());
    for (std::size_t i = 0; i < jobs.size(); ++i) out[i].key = jobs[i].key;
    std::map<pid_t, Running> running;
    std::size_t next = 0;
    const int width = std::max(1, opt.jobs);
    auto stopping = [&] { return opt.stop && opt.stop->load(); };

    auto finish = [&](std::size_t i) {
        if (opt.onDone) opt.onDone(out[i]);
    };

    while (next < jobs.size() || !running.empty()) {
        while (!stopping() && next < jobs.size() && static_cast<int>(running.size()) < width) {
            const std::size_t i = next++;
            std::string problem;
            const pid_t pid = spawn(opt.executable, jobs[i], problem);
            if (pid < 0) {
                out[i].kind = ChildOutcome::Kind::Failed;
                out[i].detail = problem;
                finish(i);
                continue;
            }
            running[pid] = Running{i, Clock::now()};
        }
        if (running.empty()) break;

        int status = 0;
        const pid_t pid = ::waitpid(-1, &status, WNOHANG);
        if (pid > 0 && running.count(pid)) {
            const Running r = running[pid];
            running.erase(pid);
            ChildOutcome& o = out[r.index];
            o.wallSeconds = std::chrono::duration<double>(Clock::now() - r.started).count();
            if (WIFEXITED(status)) o.exitCode = WEXITSTATUS(status);
            if (WIFSIGNALED(status)) o.signal = WTERMSIG(status);
            const std::string tail = logTail(jobs[r.index].log);
            if (r.killed && stopping()) {
                o.kind = ChildOutcome::Kind::Interrupted;
                o.detail = "stopped before it finished";
            } else if (r.killed) {
                o.kind = ChildOutcome::Kind::TimedOut;
                o.detail = "still running after the wall-clock limit of " +
                           std::to_string(static_cast<long long>(opt.wallLimit)) + " s; killed";
            } else if (WIFEXITED(status) && o.exitCode == 0) {
                o.kind = ChildOutcome::Kind::Ok;
            } else if (stopping()) {
                o.kind = ChildOutcome::Kind::Interrupted;
                o.detail = "stopped before it finished";
            } else {
                o.kind = ChildOutcome::Kind::Failed;
                o.detail = WIFSIGNALED(status)
                               ? std::string("ended by signal ") + std::to_string(o.signal) + " (" +
                                     strsignal(o.signal) + ")"
                               : "exit status " + std::to_string(o.exitCode);
            }
            if (o.kind != ChildOutcome::Kind::Ok && !tail.empty()) o.detail += ": " + tail;
            finish(r.index);
            continue;
        }
        if (pid < 0 && errno == ECHILD) {
            // Nothing left to wait for (someone else reaped ours): count them failed.
            for (const auto& [p, r] : running) {
                out[r.index].kind = ChildOutcome::Kind::Failed;
                out[r.index].detail = "the child process was lost";
                finish(r.index);
            }
            running.clear();
            continue;
        }
        const auto now = Clock::now();
        for (auto& [p, r] : running) {
            const double age = std::chrono::duration<double>(now - r.started).count();
            if (!r.killed && (stopping() || (opt.wallLimit > 0.0 && age > opt.wallLimit))) {
                ::kill(p, SIGKILL);
                r.killed = true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    return out;
}

}  // namespace runtime
