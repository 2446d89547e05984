// scan_folder.h - a folder "quill scan" has opened: its entries in name
// order, and the files and folders in it opened relative to it.
//
// On POSIX the folder stays open as a descriptor, so a file below it is
// opened by its name alone (no walk of the whole path again), and every
// folder found below a given path is opened without following a link: a
// folder swapped for a link during the scan cannot lead the scan out of the
// tree.  The entries' kinds come from the folder listing itself where the
// file system gives them, so a file costs no stat before it is opened.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace quill {

struct ScanFolderEntry {
    enum class Kind { File, Folder, Unreadable };
    std::string name;
    Kind kind = Kind::File;
    std::string reason;  // why an Unreadable entry could not be looked at
};

class ScanFolder {
public:
    ScanFolder() = default;
    ScanFolder(const ScanFolder &) = delete;
    ScanFolder &operator=(const ScanFolder &) = delete;
    ~ScanFolder();

    // A folder given by the user (a link is followed), or one named `name`
    // inside parent (a link is not).  False with the system's reason in *why.
    bool OpenGiven(const std::string &path, std::string *why);
    bool OpenIn(const ScanFolder &parent, const std::string &name, std::string *why);

    // Regular files and folders in name order (links, pipes, devices left
    // out), and entries whose kind could not be learnt.  A failure part-way
    // leaves what was read and its reason in *error.
    std::vector<ScanFolderEntry> Read(std::string *error) const;

    const std::string &Path() const { return path_; }
    // The path of an entry as the scan reports it.
    std::string PathOf(const std::string &name) const;
#ifndef _WIN32
    int Descriptor() const { return fd_; }
#endif

private:
    std::string path_;
#ifndef _WIN32
    int fd_ = -1;
#endif
};

}  // namespace quill
