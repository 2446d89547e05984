// file_walk.cpp - collecting the files to pack (see file_walk.h).
#include "qmpack/file_walk.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace qmpack {

namespace fs = std::filesystem;

namespace {

// The prefix a PATH gives its names: its last level, or nothing for ".",
// ".." and "/".
std::string OwnLevel(const std::string &path)
{
    fs::path p = fs::path(path).lexically_normal();
    if (!p.has_filename())
        p = p.parent_path();  // "docs/" -> "docs"
    const std::string last = p.filename().string();
    return last == "." || last == ".." || p == p.root_path() ? std::string() : last;
}

std::string StatProblem(int error)
{
    if (error == ENOENT)
        return "no such file or folder";
    return std::string("cannot be read: ") + std::strerror(error);
}

std::string Join(const std::string &prefix, const std::string &rest)
{
    if (prefix.empty())
        return rest;
    return rest.empty() ? prefix : prefix + "/" + rest;
}

struct Walker {
    WalkResult result;
    bool haveSkip = false;
    dev_t skipDev{};
    ino_t skipIno{};

    void Take(const std::string &path, const std::string &name)
    {
        struct stat st;
        if (stat(path.c_str(), &st) != 0) {
            result.errors.push_back(path + ": " + StatProblem(errno));
            return;
        }
        if (S_ISDIR(st.st_mode)) {
            Walk(path, name);
            return;
        }
        if (!S_ISREG(st.st_mode)) {
            result.skipped.push_back(path + ": not a regular file");
            return;
        }
        if (haveSkip && st.st_dev == skipDev && st.st_ino == skipIno) {
            result.skipped.push_back(path + ": the archive being written");
            return;
        }
        FoundFile f;
        f.path = path;
        f.name = name;
        f.size = static_cast<std::uint64_t>(st.st_size);
        f.dosDateTime = DosDateTime(static_cast<std::int64_t>(st.st_mtime));
        // Archive bit always; read-only when the owner may not write.  (The
        // mode bits, not access(): root may write to anything.)
        f.attributes = 0x20 | ((st.st_mode & S_IWUSR) ? 0 : 0x01);
        result.files.push_back(std::move(f));
    }

    void Walk(const std::string &dir, const std::string &name)
    {
        std::error_code ec;
        std::vector<fs::directory_entry> children;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
            children.push_back(*it);
        if (ec) {
            result.errors.push_back(dir + ": cannot be listed: " + ec.message());
            return;
        }
        std::sort(children.begin(), children.end(),
                  [](const auto &a, const auto &b) { return a.path().filename() < b.path().filename(); });
        for (const auto &child : children) {
            const std::string leaf = child.path().filename().string();
            if (child.is_symlink(ec) && child.is_directory(ec)) {
                result.skipped.push_back(child.path().string() + ": a link to a folder");
                continue;
            }
            Take(child.path().string(), Join(name, leaf));
        }
    }
};

}  // namespace

std::uint32_t DosDateTime(std::int64_t unixSeconds)
{
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm local{};
    if (!localtime_r(&t, &local) || local.tm_year < 80)
        return (1u << 5 | 1u) << 16;  // 1980-01-01 00:00:00, the earliest DOS date
    if (local.tm_year > 207)
        return (127u << 9 | 12u << 5 | 31u) << 16 | (23u << 11 | 59u << 5 | 29u);
    const auto date = static_cast<std::uint32_t>((local.tm_year - 80) << 9 | (local.tm_mon + 1) << 5 |
                                                 local.tm_mday);
    const auto time = static_cast<std::uint32_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
    return date << 16 | time;
}

WalkResult WalkPaths(const std::vector<std::string> &paths, const std::string &skipPath)
{
    Walker w;
    struct stat st;
    if (stat(skipPath.c_str(), &st) == 0) {
        w.haveSkip = true;
        w.skipDev = st.st_dev;
        w.skipIno = st.st_ino;
    }
    for (const std::string &path : paths) {
        struct stat top;
        if (stat(path.c_str(), &top) != 0) {
            w.result.errors.push_back(path + ": " + StatProblem(errno));
            continue;
        }
        const std::string own = OwnLevel(path);
        if (S_ISDIR(top.st_mode))
            w.Walk(path, own);
        else
            w.Take(path, own.empty() ? fs::path(path).filename().string() : own);
    }
    return std::move(w.result);
}

}  // namespace qmpack
