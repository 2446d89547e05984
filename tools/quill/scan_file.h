// scan_file.h - one file opened for "quill scan": read at offsets by the
// worker thread that owns it.
//
// A file found below a folder is opened without following a link, so a file
// swapped for a link after the walk cannot lead the scan out of the tree
// (POSIX), and without waiting on a pipe swapped in; what is opened must be
// a regular file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "quill/scan_folder.h"

namespace quill {

class ScanFile {
public:
    ScanFile() = default;
    ScanFile(const ScanFile &) = delete;
    ScanFile &operator=(const ScanFile &) = delete;
    ~ScanFile();

    // False with the system's reason in *why.
    bool Open(const std::string &path, bool followLink, std::string *why);
    // The file named `name` in folder, a link not followed, opened relative
    // to the calling thread's descriptor of the folder.
    bool OpenIn(const ScanFolder &folder, FolderDescriptors &held, const std::string &name, std::string *why);
    std::uint64_t Length() const { return length_; }
    // Up to size bytes at offset: the count (less only at the end), or -1.
    std::int64_t ReadAt(std::uint64_t offset, void *buffer, std::size_t size);
    // The system's reason for the latest failed ReadAt.
    std::string LastError() const;

private:
#ifndef _WIN32
    bool Opened(std::string *why);
#endif
    std::uint64_t length_ = 0;
    int lastError_ = 0;
#ifdef _WIN32
    void *file_ = nullptr;  // a std::FILE
#else
    int fd_ = -1;
#endif
};

}  // namespace quill
