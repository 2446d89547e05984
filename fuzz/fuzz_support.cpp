// fuzz_support.cpp - scratch folder, control bytes and containment checks.
#include "fuzz_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace qmfuzz {

namespace {

void Unlock(const fs::path &path);

void RemoveScratch()
{
    std::error_code ec;
    Unlock(ScratchRoot());
    fs::remove_all(ScratchRoot(), ec);
}

// Gives the owner full rights on everything below path, so it can be removed
// whatever attributes an extraction set.
void Unlock(const fs::path &path)
{
    std::error_code ec;
    ::chmod(path.c_str(), 0700);
    if (!fs::is_directory(fs::symlink_status(path, ec)))
        return;
    for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
        Unlock(it->path());
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

void Fail(const char *what, const std::string &detail)
{
    std::fprintf(stderr, "FUZZ FINDING: %s: %s\n", what, detail.c_str());
    std::fflush(stderr);
    std::abort();
}

const std::string &ScratchRoot()
{
    // Never destroyed: the exit handler that removes the folder needs it.
    static const std::string &root = *new std::string([] {
        const char *tmp = std::getenv("TMPDIR");
        std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/qm-fuzz-" + std::to_string(::getpid()) + "/";
        std::error_code ec;
        fs::create_directories(dir, ec);
        if (ec)
            Fail("cannot make the scratch folder", dir);
        std::atexit(RemoveScratch);
        return dir;
    }());
    return root;
}

void ResetFolder(const std::string &path)
{
    std::error_code ec;
    if (fs::exists(fs::symlink_status(path, ec))) {
        Unlock(path);
        fs::remove_all(path, ec);
        if (ec)
            Fail("cannot empty a scratch folder", path + ": " + ec.message());
    }
    fs::create_directories(path, ec);
    if (ec)
        Fail("cannot make a scratch folder", path + ": " + ec.message());
}

void WriteWhole(const std::string &path, const std::uint8_t *data, std::size_t size)
{
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f || (size > 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0)
        Fail("cannot write a scratch file", path);
}

Controls::Controls(const std::uint8_t *data, std::size_t size)
{
    for (std::size_t i = 0; i < sizeof bytes && i < size; ++i)
        bytes[i] = data[i];
}

bool StaysInside(const std::string &path, const std::string &folder)
{
    // A POSIX host's slashes come back as backslashes in composed names, so
    // the two separators count as the same character here.
    if (path.size() < folder.size())
        return false;
    for (std::size_t i = 0; i < folder.size(); ++i) {
        const bool same = path[i] == folder[i] || (IsSeparator(path[i]) && IsSeparator(folder[i]));
        if (!same)
            return false;
    }
    const std::string rest = path.substr(folder.size());
    if (!rest.empty() && IsSeparator(rest[0]))
        return false;
    if (folder.empty() && rest.size() >= 2 && rest[1] == ':')
        return false;
    std::size_t start = 0;
    while (start <= rest.size()) {
        std::size_t end = start;
        while (end < rest.size() && !IsSeparator(rest[end]))
            ++end;
        if (rest.compare(start, end - start, "..") == 0 && end - start == 2)
            return false;
        start = end + 1;
    }
    return true;
}

std::uint64_t CheckTree(const std::string &root, const std::string &inside,
                        const std::vector<std::string> &allowed)
{
    std::error_code ec;
    const fs::path insideReal = fs::weakly_canonical(inside, ec);
    const std::string insideDir = fs::path(inside).lexically_normal().string();
    std::uint64_t total = 0;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path p = it->path().lexically_normal();
        const std::string s = p.string();
        if (it->is_symlink(ec))
            continue;
        bool isAllowed = false;
        for (const std::string &name : allowed)
            isAllowed = isAllowed || s == fs::path(root + name).lexically_normal().string();
        if (isAllowed)
            continue;
        const bool ancestor = insideDir.compare(0, s.size(), s) == 0 &&
                              (insideDir.size() == s.size() || insideDir[s.size()] == '/');
        if (ancestor) {
            if (!it->is_directory())
                Fail("a file where the output folder should be", s);
            continue;
        }
        if (s.compare(0, insideDir.size() + 1, insideDir + "/") != 0)
            Fail("something was written outside the output folder", s);
        const fs::path real = fs::weakly_canonical(p, ec);
        const std::string realStr = real.string(), insideStr = insideReal.string() + "/";
        if (realStr.compare(0, insideStr.size(), insideStr) != 0)
            Fail("a path inside the output folder resolves outside it", s + " -> " + realStr);
        if (it->is_regular_file(ec))
            total += it->file_size(ec);
    }
    return total;
}

}  // namespace qmfuzz
