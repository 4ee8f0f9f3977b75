#pragma once
// What in a folder is ours to replace or remove, and nothing else.
//
// A folder the tools write results into holds a small manifest
// (kOwnedManifestName) that lists the names they wrote there. Those names,
// the manifest itself and the temporary files of an unfinished write of one
// of them (".NAME.tmp-...", see AtomicFile) are ours; every other entry
// belongs to the user and is never replaced, moved or removed. A folder is
// removed only when nothing but ours was in it; one that holds anything else
// keeps it and stays. Every removal of results goes through this file.

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace platform {

inline constexpr const char* kOwnedManifestName = ".mvnrt-results";

// The names the manifest of `folder` lists; empty when it has none (or its
// manifest is not a regular file of ours).
std::set<std::string> ownedNames(const std::filesystem::path& folder);

// True when the entry `name` of a folder whose manifest lists `owned` is ours.
bool isOwned(const std::set<std::string>& owned, const std::string& name);

// The entries of `folder` that are not ours, sorted; empty for a missing
// folder.
std::vector<std::string> foreignEntries(const std::filesystem::path& folder);

// A note the manifest of `folder` keeps under `key` (a line "/key value":
// no name holds a '/', so a note is never taken for a name); empty when
// there is none.
std::string ownedNote(const std::filesystem::path& folder, const std::string& key);
// Sets that note (a key of letters and digits, a value of one line).
// Returns the problem, empty on success.
std::string setOwnedNote(const std::filesystem::path& folder, const std::string& key,
                         const std::string& value);

// Records `names` as ours in the manifest of `folder` (written whole before
// anything of those names is). Refuses, returning the problem and writing
// nothing, when one of them is in the folder and not ours already: "<folder>:
// holds a, b that mvnrt did not write". Empty on success.
std::string claimNames(const std::filesystem::path& folder, const std::vector<std::string>& names);

// Removes the entry `name` of `folder` when it is ours: a file or link
// itself (never what a link points to); a folder of ours only through
// clearOwnedFolder (what is not ours in it stays, and so does the folder).
// The name is then dropped from the manifest. Returns the problem, empty when
// the name is gone; an entry that is not ours is left and named.
std::string removeOwned(const std::filesystem::path& folder, const std::string& name);

struct ClearedFolder {
    bool removed = false;            // the folder is gone (or was never there)
    std::vector<std::string> kept;   // entries that are not ours, left in place
    std::string problem;             // what could not be done, empty when all went well
};

// Removes everything of ours in `folder` (the entries its manifest lists,
// their temporary files, then the manifest) and then the folder itself when
// nothing else is left in it. A link or anything but a folder at `folder` is
// left as it is (a problem naming it).
ClearedFolder clearOwnedFolder(const std::filesystem::path& folder);

// Puts the finished results in `fresh` (a folder of ours, holding nothing
// else) in the place of `target`. When nothing is at `target`, `fresh` is
// renamed to it. When `target` is a folder, each entry of `fresh` is renamed
// into it, over an entry of ours of the same name; entries of ours that the
// new results do not have are removed; everything else in `target` stays.
// Nothing is moved, and the problem is returned, when `target` is a link or
// not a folder or holds an entry of one of those names that is not ours.
// `fresh` is gone afterwards, unless the problem is returned.
std::string moveOwnedInto(const std::filesystem::path& fresh, const std::filesystem::path& target);

}  // namespace platform
