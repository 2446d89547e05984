// private_dir.cpp - making and removing quill's scratch directory.
#include "quill/private_dir.h"

#include <chrono>
#include <random>
#include <system_error>

namespace quill {

namespace fs = std::filesystem;

PrivateDir::PrivateDir()
{
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    if (ec)
        return;
    std::mt19937_64 random(static_cast<uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = base / ("quill-test-" + std::to_string(random() % 100000000));
        // create_directory fails when the name exists: nobody else's
        // directory is ever taken over.
        if (fs::create_directory(candidate, ec)) {
            fs::permissions(candidate, fs::perms::owner_all, fs::perm_options::replace, ec);
            path_ = candidate;
            return;
        }
    }
}

PrivateDir::~PrivateDir()
{
    if (path_.empty())
        return;
    std::error_code ec;
    // Entries may have left read-only files; on Windows those resist removal.
    for (const auto &item : fs::directory_iterator(path_, ec))
        fs::permissions(item.path(), fs::perms::owner_write, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

}  // namespace quill
