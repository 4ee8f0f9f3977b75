#pragma once
// The layout of a results root (docs/results.md): each run writes into a
// folder of its own, so that no run leaves its files beside another's.
//
//   bProj/results/
//     .mvnrt-lock                  while a runtime works here (run_lock.h)
//     latest -> single-20261208-165002
//     single-20261208-165002/      one run: summary.json, report.html, ...
//     runs-20261208-171500/        --runs / --seeds: run-1 ... run-N and the aggregate
//
// A folder is named by its kind and the local time it was started; a second
// one in the same second gets "-2", "-3". `latest` points at the last single
// run that ended (everyone out or the time limit), never at one the user
// stopped. A folder the user names with --out is used as it is.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace runtime {

inline constexpr const char* kLatestName = "latest";
inline constexpr std::string_view kSingleRunKind = "single";
inline constexpr std::string_view kManyRunsKind = "runs";

// Makes the root when missing (a folder of its own, its parent must exist)
// and in it a new folder KIND-YYYYMMDD-HHMMSS. Throws platform::OutputError.
std::filesystem::path makeRunFolder(const std::filesystem::path& root, std::string_view kind);

// The newest folder of `kind` in `root` (by its name, which sorts by time).
std::optional<std::filesystem::path> newestRunFolder(const std::filesystem::path& root,
                                                     std::string_view kind);

// Points root/latest at `folder` (a relative link, replaced whole). Returns
// the problem, empty on success.
std::string pointLatest(const std::filesystem::path& root, const std::filesystem::path& folder);

}  // namespace runtime
