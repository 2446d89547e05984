// archive_output.h - the archive file while qmpack writes it.
//
// The archive is written beside its final path under a temporary name
// (ARCHIVE.qmpack-XXXXXX) and renamed over the final path only when
// complete, so a failure, or the user stopping qmpack, leaves an older
// archive whole.  An entry goes out as it is packed: its header block is
// written as a placeholder and filled in once its data is out, and an entry
// that fails is cut off again.  Ctrl-C (and a termination or hang-up
// request) removes the temporary file before qmpack ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qmpack {

class ArchiveOutput {
public:
    ArchiveOutput() = default;
    ~ArchiveOutput() { Discard(); }
    ArchiveOutput(const ArchiveOutput &) = delete;
    ArchiveOutput &operator=(const ArchiveOutput &) = delete;

    // Creates the temporary file beside `archive`.
    bool Create(const std::string &archive);

    // Appends bytes.
    bool Write(const std::uint8_t *data, std::size_t size);
    // Overwrites bytes already written.
    bool WriteAt(std::uint64_t offset, const std::uint8_t *data, std::size_t size);
    // Cuts the file back to `size` bytes.
    bool CutTo(std::uint64_t size);
    // Appends the whole content of another file.
    bool CopyFrom(const std::string &path);
    std::uint64_t Size() const { return size_; }

    // Renames the finished file to `archive`.
    bool Commit(const std::string &archive);
    // Removes the temporary file (nothing once committed).
    void Discard();

    // The system's reason for the latest failure.
    const std::string &error() const { return error_; }

private:
    bool Fail();

    int fd_ = -1;
    std::string path_;
    std::uint64_t size_ = 0;
    std::string error_;
};

// Removes the temporary file, if any, when a stop signal comes, then lets
// the signal end qmpack.  Signals the caller's parent had ignored stay
// ignored (nohup).
void RemoveTemporaryOnSignals();

}  // namespace qmpack
