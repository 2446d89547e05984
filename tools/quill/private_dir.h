// private_dir.h - a directory of quill's own in the system's temporary
// directory, readable by its owner only, removed with everything in it.
#pragma once

#include <filesystem>
#include <optional>

namespace quill {

class PrivateDir {
public:
    PrivateDir();  // check ok() afterwards
    ~PrivateDir();
    PrivateDir(const PrivateDir &) = delete;
    PrivateDir &operator=(const PrivateDir &) = delete;

    bool ok() const { return !path_.empty(); }
    const std::filesystem::path &path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace quill
