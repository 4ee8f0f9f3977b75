#include "studies/sweep_plan.h"

#include <charconv>
#include <nlohmann/json.hpp>

#include "platform/number_text.h"
#include "platform/safe_input.h"
#include "platform/safe_output.h"
#include "inputs/project.h"

namespace runtime {

namespace fs = std::filesystem;
using nlohmann::json;
using nlohmann::ordered_json;

namespace {

// A plan of a million runs stays well below this.
constexpr std::uint64_t kMaxPlanBytes = 256ull << 20;

}  // namespace

SweepPlan makePlan(const SweepDefinition& sweep, std::size_t runsPerTask) {
    SweepPlan plan;
    plan.root = sweep.root;
    plan.sweepFile = fs::absolute(sweep.file).lexically_normal().string();
    for (const SweepVariant& v : sweep.variants)
        plan.variants.push_back({v.name, v.project, v.source, v.parameters,
                                 variantArguments(sweep, v), v.seeds, v.simulatedLimit});
    const std::size_t runs = sweep.runs();
    const std::size_t least = (runs + kMaxArrayTasks - 1) / kMaxArrayTasks;
    plan.runsPerTask = std::max<std::size_t>({runsPerTask, least, 1});
    return plan;
}

std::vector<TaskRun> taskRuns(const SweepPlan& plan) {
    std::vector<TaskRun> out;
    for (std::size_t v = 0; v < plan.variants.size(); ++v)
        for (std::uint64_t seed : plan.variants[v].seeds)
            out.push_back({out.size() / plan.runsPerTask, v, seed});
    return out;
}

std::size_t taskCount(const SweepPlan& plan) {
    std::size_t runs = 0;
    for (const PlannedVariant& v : plan.variants) runs += v.seeds.size();
    return (runs + plan.runsPerTask - 1) / plan.runsPerTask;
}

std::string planJsonText(const SweepPlan& plan) {
    ordered_json variants = ordered_json::array();
    for (const PlannedVariant& v : plan.variants) {
        ordered_json parameters = ordered_json::object();
        for (const auto& [key, value] : v.parameters) parameters[key] = json::parse(value);
        variants.push_back(ordered_json{{"name", v.name},
                                        {"kind", v.project ? "project" : "scenario"},
                                        {"source", v.source},
                                        {"parameters", parameters},
                                        {"args", v.args},
                                        {"seeds", v.seeds},
                                        {"timeLimit", v.timeLimit}});
    }
    return ordered_json{{"sweepFile", plan.sweepFile},
                        {"runsPerTask", plan.runsPerTask},
                        {"tasks", taskCount(plan)},
                        {"variants", variants}}
               .dump(2) +
           "\n";
}

std::string taskListText(const SweepPlan& plan) {
    std::string t = "task\tvariant\tseed\n";
    for (const TaskRun& r : taskRuns(plan))
        t += std::to_string(r.task) + "\t" + plan.variants[r.variant].name + "\t" +
             std::to_string(r.seed) + "\n";
    return t;
}

bool hasPlan(const fs::path& root) {
    std::error_code ec;
    return fs::is_regular_file(root / kPlanName, ec);
}

SweepPlan readPlan(const fs::path& root) {
    const fs::path file = root / kPlanName;
    SweepPlan plan;
    plan.root = root;
    try {
        const json j = json::parse(platform::readRegularFile(file, kMaxPlanBytes));
        plan.sweepFile = j.at("sweepFile").get<std::string>();
        plan.runsPerTask = std::max<std::size_t>(1, j.at("runsPerTask").get<std::size_t>());
        for (const json& v : j.at("variants")) {
            PlannedVariant p;
            p.name = v.at("name").get<std::string>();
            p.project = v.at("kind").get<std::string>() == "project";
            p.source = v.at("source").get<std::string>();
            for (const auto& item : v.at("parameters").items())
                p.parameters.emplace_back(item.key(), item.value().dump());
            p.args = v.at("args").get<std::vector<std::string>>();
            p.seeds = v.at("seeds").get<std::vector<std::uint64_t>>();
            p.timeLimit = v.at("timeLimit").get<double>();
            if (p.name.empty() || p.name.find('/') != std::string::npos || p.name[0] == '.')
                throw std::runtime_error("a variant's name is not a folder name");
            plan.variants.push_back(std::move(p));
        }
    } catch (const platform::InputFileError& e) {
        throw InputError(e.what());
    } catch (const std::exception& e) {
        throw InputError(platform::capped(file.string()) + ": unreadable (" + e.what() + ")");
    }
    return plan;
}

std::vector<TaskRun> readTaskRuns(const fs::path& root, const SweepPlan& plan, std::size_t task) {
    const fs::path file = root / kTaskListName;
    std::string text;
    try {
        text = platform::readRegularFile(file, kMaxPlanBytes);
    } catch (const platform::InputFileError& e) {
        throw InputError(e.what());
    }
    std::vector<TaskRun> out;
    std::size_t start = text.find('\n') + 1, line = 2;
    for (; start < text.size(); ++line) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string row = text.substr(start, end - start);
        start = end + 1;
        const std::size_t tab1 = row.find('\t'), tab2 = row.rfind('\t');
        std::uint64_t index = 0;
        std::uint64_t seed = 0;
        const bool ok = tab1 != std::string::npos && tab2 > tab1 &&
                        platform::readWholeNumber(std::string_view(row).substr(0, tab1), index) &&
                        platform::readWholeNumber(std::string_view(row).substr(tab2 + 1), seed);
        if (!ok)
            throw InputError(platform::InputLocation{file.string(), static_cast<int>(line), ""},
                             "is not \"task<TAB>variant<TAB>seed\"");
        if (index != task) continue;
        const std::string name = row.substr(tab1 + 1, tab2 - tab1 - 1);
        std::size_t v = 0;
        while (v < plan.variants.size() && plan.variants[v].name != name) ++v;
        if (v == plan.variants.size())
            throw InputError(platform::InputLocation{file.string(), static_cast<int>(line), ""},
                             "names no variant of " + std::string(kPlanName) + ": " +
                                 platform::capped(name, 80));
        out.push_back({static_cast<std::size_t>(index), v, seed});
    }
    return out;
}

std::string indexRanges(const std::vector<std::size_t>& sorted) {
    std::string t;
    for (std::size_t i = 0; i < sorted.size();) {
        std::size_t j = i;
        while (j + 1 < sorted.size() && sorted[j + 1] == sorted[j] + 1) ++j;
        if (!t.empty()) t += ',';
        t += std::to_string(sorted[i]);
        if (j > i) t.append(1, '-').append(std::to_string(sorted[j]));
        i = j + 1;
    }
    return t;
}

}  // namespace runtime
