#include "studies/sweep_file.h"

#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>

#include "platform/number_text.h"
#include "platform/safe_input.h"
#include "platform/safe_output.h"
#include "platform/strict_json.h"
#include "projectformat/project_files.h"
#include "inputs/pre_movement.h"
#include "run/prepare.h"
#include "inputs/project.h"
#include "inputs/scenario_file.h"

namespace runtime {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// Seeds of one entry; --runs and --seeds allow as many.
constexpr std::uint64_t kMaxSeedsPerEntry = 100000;
constexpr std::size_t kMaxValuesPerParameter = 1000;
constexpr std::size_t kMaxVariants = 10000;

// Names in the results root that are the sweep's own, not a variant's.
const std::set<std::string> kReservedNames = {"sweep.csv",  "sweep.json",     "sweep-plan.json",
                                              "tasks.tsv",  "sweep.sbatch",   "collect.sbatch",
                                              "slurm-logs", "submission.json"};

class Reader {
  public:
    explicit Reader(std::string file) : file_(std::move(file)) {}

    [[noreturn]] void bad(const std::string& where, const std::string& what) const {
        throw InputError(platform::InputLocation{file_, 0, where}, what);
    }

    void checkKeys(const json& obj, std::initializer_list<const char*> known,
                   const std::string& where) const {
        for (const auto& item : obj.items()) {
            bool ok = false;
            for (const char* k : known) ok = ok || item.key() == k;
            if (!ok) bad(join(where, platform::capped(item.key(), 60)), "is not a known member");
        }
    }

    static std::string join(const std::string& where, const std::string& key) {
        return where.empty() ? key : where + "." + key;
    }

    std::string text(const json& j, const std::string& where) const {
        if (!j.is_string() || j.get<std::string>().empty())
            bad(where, "must be a non-empty string");
        return j.get<std::string>();
    }

    double timeLimit(const json& j, const std::string& where) const {
        if (!j.is_number() || !std::isfinite(j.get<double>()) || j.get<double>() <= 0.0 ||
            j.get<double>() > 1.0e6)
            bad(where, "must be a number of seconds above 0, at most 1e6");
        return j.get<double>();
    }

    std::string preMovement(const json& j, const std::string& where) const {
        std::string t;
        if (j.is_number_unsigned() || j.is_number_float())
            t = j.dump();
        else if (j.is_string())
            t = j.get<std::string>();
        else
            bad(where, "must be seconds or a distribution such as \"uniform:30:60\"");
        try {
            parsePreMovement(t);
        } catch (const platform::InputError& e) {
            bad(where, e.what());
        }
        return t;
    }

    // "seeds": [1, 2, 5] or "A-B"; "runs": N (seeds 1 to N).
    std::optional<std::vector<std::uint64_t>> seeds(const json& obj,
                                                    const std::string& where) const {
        const bool hasSeeds = obj.contains("seeds"), hasRuns = obj.contains("runs");
        if (hasSeeds && hasRuns) bad(join(where, "seeds"), "give either seeds or runs, not both");
        std::vector<std::uint64_t> out;
        if (hasRuns) {
            const json& r = obj["runs"];
            if (!r.is_number_unsigned() || r.get<std::uint64_t>() < 1 ||
                r.get<std::uint64_t>() > kMaxSeedsPerEntry)
                bad(join(where, "runs"),
                    "must be a whole number from 1 to " + std::to_string(kMaxSeedsPerEntry));
            for (std::uint64_t s = 1; s <= r.get<std::uint64_t>(); ++s) out.push_back(s);
            return out;
        }
        if (!hasSeeds) return std::nullopt;
        const json& s = obj["seeds"];
        const std::string at = join(where, "seeds");
        if (s.is_string()) {
            const std::string t = s.get<std::string>();
            const std::size_t dash = t.find('-');
            std::uint64_t a = 0, b = 0;
            // A number past 2^64 - 1 is refused, never wrapped.
            const bool ok = dash != std::string::npos &&
                            platform::readWholeNumber(std::string_view(t).substr(0, dash), a) &&
                            platform::readWholeNumber(std::string_view(t).substr(dash + 1), b);
            if (!ok)
                bad(at, "must be a list of seeds or a range \"A-B\", not \"" +
                            platform::capped(t, 40) + "\"");
            if (b < a) bad(at, "the range \"" + t + "\" is empty");
            if (b - a >= kMaxSeedsPerEntry || b == UINT64_MAX)
                bad(at, "at most " + std::to_string(kMaxSeedsPerEntry) + " seeds an entry");
            for (std::uint64_t k = a; k <= b; ++k) out.push_back(k);
            return out;
        }
        if (!s.is_array()) bad(at, "must be a list of seeds or a range \"A-B\"");
        if (s.empty()) bad(at, "the seed list is empty");
        if (s.size() > kMaxSeedsPerEntry)
            bad(at, "at most " + std::to_string(kMaxSeedsPerEntry) + " seeds an entry");
        std::set<std::uint64_t> seen;
        for (std::size_t i = 0; i < s.size(); ++i) {
            const std::string item = at + "[" + std::to_string(i) + "]";
            if (!s[i].is_number_unsigned() || s[i].get<std::uint64_t>() == UINT64_MAX)
                bad(item, "must be a whole number from 0");
            if (!seen.insert(s[i].get<std::uint64_t>()).second) bad(item, "appears twice");
            out.push_back(s[i].get<std::uint64_t>());
        }
        return out;
    }

    const std::string& file() const { return file_; }

  private:
    std::string file_;
};

bool safeName(const std::string& n) {
    if (n.empty() || n.size() > 80 || n[0] == '.' || n[0] == '-') return false;
    return n.find_first_not_of(
               "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-") ==
           std::string::npos;
}

// A name for the folder from a file's or folder's name: unusual characters
// become '-'.
std::string nameFrom(const fs::path& p) {
    fs::path norm = p.lexically_normal();
    if (!norm.has_filename()) norm = norm.parent_path();
    std::string n = norm.stem().string();
    for (char& c : n)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-')
            c = '-';
    while (!n.empty() && (n[0] == '.' || n[0] == '-')) n.erase(0, 1);
    if (n.size() > 60) n.resize(60);
    return n.empty() ? std::string("variant") : n;
}

// Sets the member at `path` ("model.headwayTime", "fill[0].count") of a
// scenario: a missing object member is made, an array element must exist.
// Returns the problem, empty on success.
std::string setMember(json& doc, const std::string& path, const json& value) {
    json* at = &doc;
    std::size_t i = 0;
    while (i < path.size()) {
        const std::size_t end = path.find_first_of(".[", i);
        const std::string key =
            path.substr(i, end == std::string::npos ? std::string::npos : end - i);
        if (key.empty()) return "is not a member path such as model.headwayTime or fill[0].count";
        if (at->is_null()) *at = json::object();  // a member made on the way (model)
        if (!at->is_object()) return "the scenario has no object where " + key + " would be";
        at = &(*at)[key];
        i = end == std::string::npos ? path.size() : end;
        while (i < path.size() && path[i] == '[') {
            const std::size_t close = path.find(']', i);
            std::uint64_t index = 0;
            if (close == std::string::npos ||
                !platform::readWholeNumber(std::string_view(path).substr(i + 1, close - i - 1), index))
                return "is not a member path such as model.headwayTime or fill[0].count";
            if (!at->is_array() || index >= at->size())
                return "the scenario has no " + path.substr(0, close + 1);
            at = &(*at)[static_cast<std::size_t>(index)];
            i = close + 1;
        }
        if (i < path.size()) {
            if (path[i] != '.' || i + 1 == path.size())
                return "is not a member path such as model.headwayTime or fill[0].count";
            ++i;
        }
    }
    *at = value;
    return {};
}

struct Parameter {
    std::string key;
    std::vector<json> values;
};

}  // namespace

std::size_t SweepDefinition::runs() const {
    std::size_t n = 0;
    for (const SweepVariant& v : variants) n += v.seeds.size();
    return n;
}

fs::path variantFolder(const SweepDefinition& sweep, const SweepVariant& v) {
    return sweep.root / v.name;
}

fs::path variantScenarioFile(const SweepDefinition& sweep, const SweepVariant& v) {
    return variantFolder(sweep, v) / "scenario.json";
}

std::vector<std::string> variantArguments(const SweepDefinition& sweep, const SweepVariant& v) {
    std::vector<std::string> args;
    if (v.project)
        args = {"--project", v.sourcePath.string()};
    else
        args = {"--scenario",
                (v.scenarioText.empty() ? v.sourcePath : variantScenarioFile(sweep, v)).string()};
    if (v.timeLimit) args.insert(args.end(), {"--time-limit", json(*v.timeLimit).dump()});
    if (v.preMovement) args.insert(args.end(), {"--pre-movement", *v.preMovement});
    return args;
}

std::string seedsText(const std::vector<std::uint64_t>& seeds) {
    bool consecutive = !seeds.empty();
    for (std::size_t i = 1; i < seeds.size(); ++i)
        consecutive = consecutive && seeds[i] == seeds[i - 1] + 1;
    if (consecutive) return std::to_string(seeds.front()) + "-" + std::to_string(seeds.back());
    std::string t;
    for (std::size_t i = 0; i < seeds.size(); ++i) {
        if (i) t += ',';
        t += std::to_string(seeds[i]);
    }
    return t;
}

namespace {

// What a sweep file gives every entry that does not give its own.
struct EntryDefaults {
    std::optional<std::vector<std::uint64_t>> seeds;
    std::optional<double> timeLimit;
    std::optional<std::string> preMovement;
};

// One entry of "scenarios" without its variations: the scenario file or
// project it runs, its name, seeds, time limit and pre-movement.
SweepVariant readEntry(const Reader& r, const json& entry, const std::string& at,
                       const fs::path& folder, const EntryDefaults& defaults, std::string& name) {
    std::error_code ec;
    const bool isProject = entry.contains("project");
    if (isProject == entry.contains("scenario"))
        r.bad(at,
              "needs either \"scenario\": FILE.json or \"project\": FOLDER (that holds bProj)");
    SweepVariant base;
    base.project = isProject;
    const std::string sourceKey = isProject ? "project" : "scenario";
    base.source = r.text(entry[sourceKey], at + "." + sourceKey);
    base.sourcePath = (fs::path(base.source).is_absolute() ? fs::path(base.source)
                                                           : folder / fs::path(base.source))
                          .lexically_normal();
    if (isProject ? !fs::is_directory(base.sourcePath, ec)
                  : !fs::is_regular_file(base.sourcePath, ec)) {
        // Something else there (a FIFO, a device, a folder) is named as
        // what it is.
        std::string why;
        if (fs::exists(fs::symlink_status(base.sourcePath, ec))) {
            if (isProject)
                why = "is not a folder";
            else
                platform::openRegularFile(base.sourcePath, UINT64_MAX, &why);
        }
        r.bad(at + "." + sourceKey,
              platform::capped(base.source) +
                  (!why.empty() ? ": " + why
                   : isProject  ? ": no such folder (the folder that holds bProj)"
                                : ": no such scenario file"));
    }
    if (isProject && !fs::is_directory(base.sourcePath / projectformat::kProjectFolder, ec))
        r.bad(at + ".project", platform::capped(base.source) + ": holds no project bProj");
    name = entry.contains("name") ? r.text(entry["name"], at + ".name")
                                                    : nameFrom(base.sourcePath);
    if (!safeName(name) || kReservedNames.count(name))
        r.bad(at + ".name", "\"" + platform::capped(name, 60) +
                                "\" cannot name a folder: use letters, digits, '.', '_' and "
                                "'-' (at most 80, not starting with '.' or '-', not a name of "
                                "the sweep's own files)");
    base.timeLimit = entry.contains("timeLimit")
                         ? std::optional(r.timeLimit(entry["timeLimit"], at + ".timeLimit"))
                         : defaults.timeLimit;
    base.preMovement =
        entry.contains("preMovement")
            ? std::optional(r.preMovement(entry["preMovement"], at + ".preMovement"))
            : defaults.preMovement;
    const auto seeds = r.seeds(entry, at);
    if (!seeds && !defaults.seeds)
        r.bad(at, "names no seeds: give \"seeds\" or \"runs\" here or for the whole file");
    base.seeds = seeds ? *seeds : *defaults.seeds;
    return base;
}

// The varied parameters of an entry, in key order; the first varies slowest.
std::vector<Parameter> readVary(const Reader& r, const json& entry, const std::string& at,
                                bool isProject) {
    std::vector<Parameter> parameters;
    if (entry.contains("vary")) {
        const json& vary = entry["vary"];
        if (!vary.is_object() || vary.empty())
            r.bad(at + ".vary", "must be an object of parameter: [values]");
        for (const auto& item : vary.items()) {
            const std::string where = at + ".vary." + platform::capped(item.key(), 60);
            if (!item.value().is_array() || item.value().empty() ||
                item.value().size() > kMaxValuesPerParameter)
                r.bad(where, "must be a list of 1 to " +
                                 std::to_string(kMaxValuesPerParameter) + " values");
            const bool option = item.key() == "timeLimit" || item.key() == "preMovement";
            if (isProject && !option)
                r.bad(where, "a project varies only timeLimit and preMovement");
            parameters.push_back({item.key(), item.value().get<std::vector<json>>()});
        }
    }
    return parameters;
}

// Variant `c` of the combinations of `parameters`, its name not one of
// `names` (where it is added), checked as its first run would read it.
SweepVariant makeVariant(const Reader& r, const SweepVariant& base, const std::string& name,
                         const std::vector<Parameter>& parameters, const json& scenarioDoc,
                         std::size_t c, const std::string& at, std::set<std::string>& names) {
    SweepVariant v = base;
    v.name = parameters.empty() ? name : name + "-" + std::to_string(c + 1);
    json doc2 = scenarioDoc;
    std::size_t rest = c;
    std::vector<std::size_t> pick(parameters.size());
    for (std::size_t k = parameters.size(); k-- > 0;) {
        pick[k] = rest % parameters[k].values.size();
        rest /= parameters[k].values.size();
    }
    for (std::size_t k = 0; k < parameters.size(); ++k) {
        const Parameter& p = parameters[k];
        const json& value = p.values[pick[k]];
        const std::string where = at + ".vary." + platform::capped(p.key, 60) + "[" +
                                  std::to_string(pick[k]) + "]";
        if (p.key == "timeLimit")
            v.timeLimit = r.timeLimit(value, where);
        else if (p.key == "preMovement")
            v.preMovement = r.preMovement(value, where);
        else if (const std::string problem = setMember(doc2, p.key, value);
                 !problem.empty())
            r.bad(at + ".vary." + platform::capped(p.key, 60), problem);
        v.parameters.emplace_back(p.key, value.dump());
    }
    if (!scenarioDoc.is_null()) v.scenarioText = doc2.dump(2) + "\n";
    if (!names.insert(v.name).second)
        r.bad(at + ".name", "\"" + v.name + "\" names another variant already");

    // The variant as its first run would read it: a mistake in it is
    // found now, not by every run.
    Options check;
    (v.project ? check.project : check.scenario) = v.sourcePath.string();
    check.seed = v.seeds.front();
    check.timeLimit = v.timeLimit;
    check.preMovement = v.preMovement;
    try {
        v.simulatedLimit =
            prepareRun(check, v.scenarioText.empty() ? nullptr : &v.scenarioText)
                .setup.timeLimit;
    } catch (const std::exception& ex) {
        r.bad(at, (parameters.empty() ? std::string() : "variant " + v.name + ": ") +
                      platform::capped(ex.what(), 600));
    }
    return v;
}

}  // namespace

SweepDefinition parseSweepFile(const std::string& text, const fs::path& file) {
    const Reader r(file.string());
    json doc;
    try {
        doc = platform::parseStrictJson(text);
    } catch (const platform::JsonError& e) {
        throw InputError(e.inFile(platform::capped(file.string())));
    }
    if (!doc.is_object()) r.bad("", "must be a JSON object with a list \"scenarios\"");
    r.checkKeys(
        doc, {"description", "results", "seeds", "runs", "timeLimit", "preMovement", "scenarios"},
        "");
    std::error_code ec;
    const fs::path folder = fs::absolute(file, ec).parent_path();

    SweepDefinition sweep;
    sweep.file = file;
    const std::string results =
        doc.contains("results") ? r.text(doc["results"], "results") : nameFrom(file) + "-results";
    sweep.root = (folder / results).lexically_normal();
    if (!sweep.root.has_filename()) sweep.root = sweep.root.parent_path();
    EntryDefaults defaults;
    defaults.seeds = r.seeds(doc, "");
    if (doc.contains("timeLimit")) defaults.timeLimit = r.timeLimit(doc["timeLimit"], "timeLimit");
    if (doc.contains("preMovement"))
        defaults.preMovement = r.preMovement(doc["preMovement"], "preMovement");

    if (!doc.contains("scenarios") || !doc["scenarios"].is_array() || doc["scenarios"].empty())
        r.bad("scenarios",
              "must be a non-empty list of {\"scenario\": FILE} or {\"project\": FOLDER}");
    std::set<std::string> names;
    std::uint64_t totalRuns = 0;
    const json& entries = doc["scenarios"];
    for (std::size_t e = 0; e < entries.size(); ++e) {
        const std::string at = "scenarios[" + std::to_string(e) + "]";
        const json& entry = entries[e];
        if (!entry.is_object()) r.bad(at, "must be an object");
        r.checkKeys(entry,
                    {"name", "description", "scenario", "project", "seeds", "runs", "timeLimit",
                     "preMovement", "vary"},
                    at);
        std::string name;
        const SweepVariant base = readEntry(r, entry, at, folder, defaults, name);
        const std::vector<Parameter> parameters = readVary(r, entry, at, base.project);
        json scenarioDoc;
        if (!parameters.empty() && !base.project) {
            try {
                scenarioDoc = platform::parseStrictJson(
                    platform::readRegularFile(base.sourcePath, kMaxScenarioBytes));
            } catch (const std::exception& ex) {
                r.bad(at + ".scenario", ex.what());
            }
        }

        std::size_t combinations = 1;
        for (const Parameter& p : parameters) {
            combinations *= p.values.size();
            if (combinations > kMaxVariants)
                r.bad(at + ".vary",
                      "makes more than " + std::to_string(kMaxVariants) + " variants");
        }
        for (std::size_t c = 0; c < combinations; ++c) {
            SweepVariant v = makeVariant(r, base, name, parameters, scenarioDoc, c, at, names);
            totalRuns += v.seeds.size();
            if (totalRuns > kMaxSweepRuns)
                r.bad(at, "the sweep makes more than " + std::to_string(kMaxSweepRuns) + " runs");
            sweep.variants.push_back(std::move(v));
        }
    }
    return sweep;
}

SweepDefinition loadSweepFile(const fs::path& file) {
    std::string text;
    try {
        text = platform::readRegularFile(file, kMaxSweepFileBytes);
    } catch (const platform::InputFileError& e) {
        throw InputError(e.what());
    }
    return parseSweepFile(text, file);
}

}  // namespace runtime
