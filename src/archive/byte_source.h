// byte_source.h - where an open archive's bytes come from: a file, bytes in
// memory, or the host's read callback.
//
// Every read names its offset: a source keeps no position, so the walk over
// the header blocks and the reading of an entry's data never disturb each
// other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace qm {

class ByteSource {
public:
    virtual ~ByteSource() = default;

    // Reads up to count bytes at offset: the count read (less only at the
    // end of the data), or -1 on failure with the system's error number (0
    // when there is none) in *error.
    virtual std::int64_t ReadAt(std::uint64_t offset, void *buffer, std::size_t count, int *error) = 0;

    std::uint64_t Length() const { return length_; }

    // True when the path (Windows-1252, backslashes) names the file this
    // source reads; a source that is no file has none.
    virtual bool IsFile(const char *) const { return false; }

protected:
    explicit ByteSource(std::uint64_t length) : length_(length) {}

private:
    std::uint64_t length_;
};

// The caller's bytes, read in place.
std::unique_ptr<ByteSource> MakeMemorySource(const void *data, std::size_t size);

// A file by its UTF-8 path; null with the system's error number in *error.
std::unique_ptr<ByteSource> OpenFileSource(const char *pathUtf8, int *error);

}  // namespace qm
