// scan_folder.h - a folder "quill scan" has opened: its entries in name
// order, and the files and folders in it opened relative to it.
//
// On POSIX a file below a folder is opened relative to a descriptor of the
// folder, by its name alone (no walk of the whole path again), and every
// folder found below a given path is opened without following a link: a
// folder swapped for a link during the scan cannot lead the scan out of the
// tree.  The entries' kinds come from the folder listing itself where the
// file system gives them, so a file costs no stat before it is opened.
#pragma once

#include <cstdint>
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

class FolderDescriptors;

// Made by std::make_shared only: a thread's FolderDescriptors keep the
// folders whose descriptors they hold.
class ScanFolder : public std::enable_shared_from_this<ScanFolder> {
public:
    ScanFolder() = default;
    ScanFolder(const ScanFolder &) = delete;
    ScanFolder &operator=(const ScanFolder &) = delete;

    // A folder given by the user (a link is followed), or one named `name`
    // inside parent (a link is not).  False with the system's reason in
    // *why.  The descriptor opened stays with the calling thread's `held`.
    bool OpenGiven(const std::string &path, FolderDescriptors &held, std::string *why);
    bool OpenIn(std::shared_ptr<const ScanFolder> parent, const std::string &name, FolderDescriptors &held,
                std::string *why);

    // Regular files and folders in name order (links, pipes, devices left
    // out), and entries whose kind could not be learnt.  A failure part-way
    // leaves what was read and its reason in *error.
    std::vector<ScanFolderEntry> Read(FolderDescriptors &held, std::string *error) const;

    const std::string &Path() const { return path_; }
    // The path of an entry as the scan reports it.
    std::string PathOf(const std::string &name) const;

private:
    friend class FolderDescriptors;
#ifndef _WIN32
    bool Adopt(int fd, FolderDescriptors &held, std::string *why);
#endif
    std::string path_;
#ifndef _WIN32
    std::string name_;                          // in parent_
    std::shared_ptr<const ScanFolder> parent_;  // none for a folder given
    std::uint64_t device_ = 0;                  // which folder was opened first
    std::uint64_t inode_ = 0;
#endif
};

// One thread's descriptors of the folders it works in (POSIX; nothing on
// Windows, where files are opened by path).
//
// On Linux each thread quill scan starts gets a descriptor table of its own
// (MakeTablePrivate), and the calling thread keeps the process's to itself:
// with one table shared, every open and close takes the table's lock and
// every read or stat a reference on the file, and on two threads opening
// small files that contention took about 7 % of the processor time.  A descriptor is then good only in the thread that opened it, so
// each thread opens the folders it works in itself: relative to its own
// descriptor of the parent, without following a link, and checked to be
// the folder that was listed (same device and inode).  It keeps the few it
// used last.
class FolderDescriptors {
public:
    FolderDescriptors() = default;
    FolderDescriptors(const FolderDescriptors &) = delete;
    FolderDescriptors &operator=(const FolderDescriptors &) = delete;
    ~FolderDescriptors();

    // Gives the calling thread a descriptor table of its own (Linux; a
    // no-op elsewhere or where the system refuses).
    static void MakeTablePrivate();

    // This thread's descriptor of folder, opened if need be; -1 with the
    // reason in *why.
    int Of(const ScanFolder &folder, std::string *why);

private:
    friend class ScanFolder;
#ifndef _WIN32
    void Keep(const ScanFolder &folder, int fd);
    struct Held {
        std::shared_ptr<const ScanFolder> folder;
        int fd;
    };
    std::vector<Held> held_;  // the one used last at the back
#endif
};

}  // namespace quill
