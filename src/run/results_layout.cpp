#include "run/results_layout.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <system_error>
#include <utility>

#include "platform/safe_output.h"

namespace runtime {

namespace fs = std::filesystem;

namespace {

// "20261208-165002"
std::string stamp() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &tm);
    return text;
}

// KIND-YYYYMMDD-HHMMSS with an optional "-N": one of the kind's folders,
// as (time stamp, N) to order them by.
std::optional<std::pair<std::string, long>> folderOf(const std::string& name,
                                                     std::string_view kind) {
    const std::string prefix = std::string(kind) + "-";
    if (name.rfind(prefix, 0) != 0) return std::nullopt;
    const std::string rest = name.substr(prefix.size());
    if (rest.size() < 15 || rest[8] != '-') return std::nullopt;
    for (std::size_t i = 0; i < 15; ++i)
        if (i != 8 && (rest[i] < '0' || rest[i] > '9')) return std::nullopt;
    if (rest.size() == 15) return std::pair{rest, 1L};
    if (rest[15] != '-' || rest.size() > 20 || rest.size() == 16 ||
        rest.find_first_not_of("0123456789", 16) != std::string::npos)
        return std::nullopt;
    return std::pair{rest.substr(0, 15), std::atol(rest.c_str() + 16)};
}

}  // namespace

fs::path makeRunFolder(const fs::path& root, std::string_view kind) {
    platform::requireFolder(root);
    const std::string base = std::string(kind) + "-" + stamp();
    for (int n = 1; n < 1000; ++n) {
        const fs::path folder = root / (n == 1 ? base : base + "-" + std::to_string(n));
        if (::mkdir(folder.c_str(), 0777) == 0) return folder;
        if (errno != EEXIST)
            throw platform::OutputError(platform::capped(folder.string()) +
                                        ": cannot make the run's folder: " + std::strerror(errno));
    }
    throw platform::OutputError(platform::capped(root.string()) +
                                ": too many run folders started in one second");
}

std::optional<fs::path> newestRunFolder(const fs::path& root, std::string_view kind) {
    std::error_code ec;
    std::optional<std::pair<std::string, long>> best;
    std::string bestName;
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const auto key = folderOf(name, kind);
        if (!key || it->is_symlink(ec) || !it->is_directory(ec)) continue;
        if (!best || *key > *best) {
            best = key;
            bestName = name;
        }
    }
    if (!best) return std::nullopt;
    return root / bestName;
}

std::string pointLatest(const fs::path& root, const fs::path& folder) {
    const fs::path link = root / kLatestName;
    const fs::path temp = root / (std::string(".") + kLatestName + "." + std::to_string(::getpid()));
    std::error_code ec;
    fs::remove(temp, ec);
    if (::symlink(folder.filename().c_str(), temp.c_str()) != 0 ||
        ::rename(temp.c_str(), link.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        fs::remove(temp, ec);
        return platform::capped(link.string()) + ": cannot point it at " +
               folder.filename().string() + ": " + why;
    }
    return {};
}

}  // namespace runtime
