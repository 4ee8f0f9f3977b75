#include "platform/owned_entries.h"

#include <algorithm>
#include <map>
#include <system_error>

#include "platform/safe_input.h"
#include "platform/safe_output.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

constexpr const char* kManifestHeader = "mvnrt results 1";
// A manifest longer than this is not one of ours.
constexpr std::uint64_t kMaxManifestBytes = 1 << 20;

std::string named(const fs::path& p) { return capped(p.string()); }

fs::file_type typeAt(const fs::path& p, std::error_code& ec) {
    return fs::symlink_status(p, ec).type();
}

std::string listed(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& n : names) {
        if (text.size() > 300) return text + ", ...";
        text += (text.empty() ? "" : ", ") + capped(n, 100);
    }
    return text;
}

struct Manifest {
    std::set<std::string> names;
    std::map<std::string, std::string> notes;
};

Manifest readManifest(const fs::path& folder);

std::string manifestText(const std::set<std::string>& names,
                         const std::map<std::string, std::string>& notes) {
    std::string text = std::string(kManifestHeader) + "\n";
    for (const auto& [key, value] : notes) text += "/" + key + " " + value + "\n";
    for (const std::string& name : names) text += name + "\n";
    return text;
}

// Writes the manifest with `names`, keeping the notes it has (or `notes`).
std::string writeManifest(const fs::path& folder, const std::set<std::string>& names,
                          const std::map<std::string, std::string>* notes = nullptr) {
    const std::map<std::string, std::string> kept = notes ? *notes : readManifest(folder).notes;
    return writeFileAtomically(folder / kOwnedManifestName, manifestText(names, kept),
                               Durability::WhenReplacing, Replacing::RegularFileOnly);
}

// A name a manifest may list: one entry of the folder itself.
bool usableName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name != kOwnedManifestName &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

}  // namespace

namespace {

Manifest readManifest(const fs::path& folder) {
    Manifest m;
    std::error_code ec;
    // A link at the manifest's name makes nothing ours.
    if (typeAt(folder / kOwnedManifestName, ec) != fs::file_type::regular) return m;
    std::string text;
    try {
        text = readRegularFile(folder / kOwnedManifestName, kMaxManifestBytes);
    } catch (const InputFileError&) {
        return m;
    }
    std::size_t at = 0;
    bool first = true;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (first) {
            if (line != kManifestHeader) return {};
            first = false;
        } else if (!line.empty() && line[0] == '/') {
            const std::size_t space = line.find(' ');
            if (space != std::string::npos)
                m.notes[line.substr(1, space - 1)] = line.substr(space + 1);
        } else if (usableName(line)) {
            m.names.insert(std::move(line));
        }
    }
    return m;
}

}  // namespace

std::set<std::string> ownedNames(const fs::path& folder) { return readManifest(folder).names; }

std::string ownedNote(const fs::path& folder, const std::string& key) {
    const Manifest m = readManifest(folder);
    const auto it = m.notes.find(key);
    return it == m.notes.end() ? std::string() : it->second;
}

std::string setOwnedNote(const fs::path& folder, const std::string& key, const std::string& value) {
    if (key.empty() || key.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789") != std::string::npos ||
        value.find_first_of("\n\r") != std::string::npos)
        return named(folder) + ": a note of the manifest needs a plain key and a value of one line";
    Manifest m = readManifest(folder);
    m.notes[key] = value;
    return writeManifest(folder, m.names, &m.notes);
}

bool isOwned(const std::set<std::string>& owned, const std::string& name) {
    if (name == kOwnedManifestName || owned.count(name) != 0) return true;
    // ".NAME.tmp-..." of an unfinished write of NAME (or of the manifest).
    if (name.size() < 2 || name[0] != '.') return false;
    const std::size_t tmp = name.rfind(".tmp-");
    if (tmp == std::string::npos || tmp < 2) return false;
    const std::string base = name.substr(1, tmp - 1);
    return base == kOwnedManifestName || owned.count(base) != 0;
}

std::vector<std::string> foreignEntries(const fs::path& folder) {
    std::vector<std::string> foreign;
    std::error_code ec;
    if (typeAt(folder, ec) != fs::file_type::directory) return foreign;
    const std::set<std::string> owned = ownedNames(folder);
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (!isOwned(owned, name)) foreign.push_back(name);
    }
    std::sort(foreign.begin(), foreign.end());
    return foreign;
}

std::string claimNames(const fs::path& folder, const std::vector<std::string>& names) {
    std::set<std::string> owned = ownedNames(folder);
    std::vector<std::string> foreign;
    for (const std::string& name : names) {
        if (!usableName(name)) return named(folder / name) + ": is not a name mvnrt writes";
        if (owned.count(name) != 0) continue;
        std::error_code ec;
        const fs::file_type type = typeAt(folder / name, ec);
        if (type == fs::file_type::not_found) continue;
        if (type == fs::file_type::none) return named(folder / name) + ": " + ec.message();
        foreign.push_back(name);
    }
    if (!foreign.empty())
        return named(folder) + ": holds " + listed(foreign) +
               " that mvnrt did not write; choose another results folder (--out) or move them "
               "away";
    const std::size_t before = owned.size();
    owned.insert(names.begin(), names.end());
    std::error_code ec;
    if (owned.size() == before &&
        typeAt(folder / kOwnedManifestName, ec) == fs::file_type::regular)
        return {};
    return writeManifest(folder, owned);
}

std::string removeOwned(const fs::path& folder, const std::string& name) {
    std::set<std::string> owned = ownedNames(folder);
    const fs::path entry = folder / name;
    std::error_code ec;
    const fs::file_type type = typeAt(entry, ec);
    if (!isOwned(owned, name) || name == kOwnedManifestName) {
        if (type == fs::file_type::not_found) return {};
        return named(entry) + ": was not written by mvnrt; it is left as it is";
    }
    if (type == fs::file_type::directory) {
        const ClearedFolder cleared = clearOwnedFolder(entry);
        if (!cleared.problem.empty()) return cleared.problem;
        if (!cleared.removed)
            return named(entry) + ": holds " + listed(cleared.kept) +
                   " that mvnrt did not write; the folder stays with them";
    } else if (type != fs::file_type::not_found) {
        fs::remove(entry, ec);  // a link itself, never its target
        if (ec) return named(entry) + ": cannot be removed: " + ec.message();
    }
    if (owned.erase(name) != 0) return writeManifest(folder, owned);
    return {};
}

ClearedFolder clearOwnedFolder(const fs::path& folder) {
    ClearedFolder out;
    std::error_code ec;
    const fs::file_type type = typeAt(folder, ec);
    if (type == fs::file_type::not_found) {
        out.removed = true;
        return out;
    }
    if (type != fs::file_type::directory) {
        out.problem = named(folder) + (type == fs::file_type::symlink
                                           ? ": is a symbolic link, not a results folder"
                                           : ": is not a folder; it is left as it is");
        return out;
    }
    const std::set<std::string> owned = ownedNames(folder);
    std::vector<fs::path> ours;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (isOwned(owned, name))
            ours.push_back(e.path());
        else
            out.kept.push_back(name);
    }
    if (ec) {
        out.problem = named(folder) + ": cannot be read: " + ec.message();
        return out;
    }
    std::sort(out.kept.begin(), out.kept.end());
    // The manifest goes last, so that what is ours stays recorded as long as
    // any of it is there.
    std::sort(ours.begin(), ours.end(), [](const fs::path& a, const fs::path& b) {
        const bool am = a.filename() == kOwnedManifestName, bm = b.filename() == kOwnedManifestName;
        return am != bm ? bm : a < b;
    });
    for (const fs::path& p : ours) {
        std::error_code e2;
        const fs::file_type t = typeAt(p, e2);
        if (t == fs::file_type::directory) {
            const ClearedFolder inner = clearOwnedFolder(p);
            if (!inner.removed) {
                out.kept.push_back(p.filename().string());
                if (out.problem.empty()) out.problem = inner.problem;
                continue;
            }
        } else if (t != fs::file_type::not_found) {
            if (p.filename() == kOwnedManifestName && !out.kept.empty()) continue;
            fs::remove(p, e2);
            if (e2 && out.problem.empty())
                out.problem = named(p) + ": cannot be removed: " + e2.message();
        }
    }
    if (!out.kept.empty()) return out;
    fs::remove(folder, ec);  // empty now; never removes anything but an empty folder
    if (ec) {
        if (out.problem.empty()) out.problem = named(folder) + ": cannot be removed: " + ec.message();
        return out;
    }
    out.removed = true;
    return out;
}

std::string moveOwnedInto(const fs::path& fresh, const fs::path& target) {
    std::error_code ec;
    const fs::file_type type = typeAt(target, ec);
    if (type == fs::file_type::not_found) {
        fs::rename(fresh, target, ec);
        return ec ? named(target) + ": cannot be put in place: " + ec.message() : std::string();
    }
    if (type == fs::file_type::symlink)
        return named(target) + ": is a symbolic link; the results need a folder of their own there";
    if (type != fs::file_type::directory)
        return named(target) + ": is there and is not a folder; it was left as it is";

    const Manifest freshManifest = readManifest(fresh);
    const std::set<std::string>& freshNames = freshManifest.names;
    std::vector<std::string> names;
    for (const fs::directory_entry& e : fs::directory_iterator(fresh, ec)) {
        const std::string name = e.path().filename().string();
        if (name != kOwnedManifestName) names.push_back(name);
    }
    if (ec) return named(fresh) + ": cannot be read: " + ec.message();
    std::sort(names.begin(), names.end());
    const std::set<std::string> before = ownedNames(target);
    // Every name of the new results is recorded as ours in the target before
    // one is moved; an entry of one of those names that is not ours stops
    // everything here.
    std::string problem = claimNames(target, names);
    if (!problem.empty()) return problem;
    for (const std::string& name : names) {
        std::error_code e2;
        if (typeAt(target / name, e2) == fs::file_type::directory) {
            const ClearedFolder cleared = clearOwnedFolder(target / name);
            if (!cleared.removed)
                return cleared.problem.empty()
                           ? named(target / name) + ": holds " + listed(cleared.kept) +
                                 " that mvnrt did not write"
                           : cleared.problem;
        }
        fs::rename(fresh / name, target / name, e2);
        if (e2) return named(target / name) + ": cannot be put in place: " + e2.message();
    }
    // What the earlier results had and these do not.
    for (const std::string& name : before) {
        if (std::find(names.begin(), names.end(), name) != names.end()) continue;
        problem = removeOwned(target, name);
        if (!problem.empty()) return problem;
    }
    problem = writeManifest(target, freshNames, &freshManifest.notes);
    if (!problem.empty()) return problem;
    fs::remove(fresh / kOwnedManifestName, ec);
    fs::remove(fresh, ec);
    return {};
}

}  // namespace platform
