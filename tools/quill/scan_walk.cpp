// scan_walk.cpp - the walk of "quill scan" over std::filesystem, with every
// error reported instead of thrown.
#include "quill/scan_walk.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace quill {

namespace {

using Found = std::function<void(ScanTarget)>;
using Unreadable = std::function<void(const std::string &, const std::string &)>;

void WalkFolder(const fs::path &folder, const Found &found, const Unreadable &unreadable)
{
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) {
        unreadable(folder.string(), ec.message());
        return;
    }
    std::vector<fs::directory_entry> entries;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        entries.push_back(*it);
    }
    if (ec)
        unreadable(folder.string(), ec.message());
    std::sort(entries.begin(), entries.end(),
              [](const fs::directory_entry &a, const fs::directory_entry &b) { return a.path() < b.path(); });
    for (const auto &entry : entries) {
        // The link's own status: a link is neither followed nor reported.
        const fs::file_status status = entry.symlink_status(ec);
        std::string path;
        try {
            path = entry.path().string();
        } catch (const std::exception &) {
            // Windows: a name the ANSI code page cannot spell.
            unreadable(folder.string(), "holds a name this system's code page cannot spell");
            continue;
        }
        if (ec)
            unreadable(path, ec.message());
        else if (fs::is_directory(status))
            WalkFolder(entry.path(), found, unreadable);
        else if (fs::is_regular_file(status))
            found({path, false});
    }
}

}  // namespace

void WalkScanPaths(const std::vector<std::string> &paths, const Found &found, const Unreadable &unreadable)
{
    for (const auto &given : paths) {
        std::error_code ec;
        const fs::file_status status = fs::status(given, ec);
        if (ec)
            unreadable(given, ec.message());
        else if (fs::is_directory(status))
            WalkFolder(given, found, unreadable);
        else if (fs::is_regular_file(status))
            found({given, true});
        else
            unreadable(given, "not a regular file or a folder");
    }
}

}  // namespace quill
