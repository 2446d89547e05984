// scan_walk.h - the regular files below the paths given to "quill scan".
//
// A path given is taken even when it is a link (the user named it); below
// it, links are never followed, to files or folders alike, so the walk
// stays inside the given trees and sees no file twice.  Folders are read in
// name order, so the same tree always gives the same list.  Sockets, pipes
// and devices are left out.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace quill {

struct ScanTarget {
    std::string path;
    bool named = false;  // given on the command line: a link there is followed
};

// Calls found(target) for each regular file as the walk meets it, and
// unreadable(path, reason) for each path or folder that cannot be read, and
// goes on.
void WalkScanPaths(const std::vector<std::string> &paths, const std::function<void(ScanTarget)> &found,
                   const std::function<void(const std::string &path, const std::string &reason)> &unreadable);

}  // namespace quill
