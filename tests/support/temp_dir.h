// temp_dir.h - a real temporary directory for one test, removed afterwards.
#pragma once

#include <filesystem>
#include <string>

#include "packer/carrier_writer.h"

namespace qmtest {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return path_; }

    // A path inside the directory, as a string the library takes.
    std::string File(const std::string &name) const;

    // Writes bytes to a file in the directory and returns its path.
    std::string Write(const std::string &name, const qmpack::Bytes &bytes) const;

private:
    std::filesystem::path path_;
};

// A file of the shared corpus of real archives.
std::string CorpusFile(const std::string &name);

}  // namespace qmtest
