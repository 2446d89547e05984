// scan_walk.h - the walk of "quill scan": the files below the given paths,
// probed by N threads that share the walk itself, the results handed over
// in the walk's order.
//
// A path given is taken even when it is a link (the user named it); below
// it, links are never followed, to files or folders alike, so the walk
// stays inside the given trees and sees no file twice.  Folders are read in
// name order, and the results come out in that order (depth first, a
// folder's contents where its name sorts) whatever the number of threads,
// each as soon as everything before it is done.  Sockets, pipes and devices
// are left out.
//
// There is no walk thread: each thread takes the next piece of work, a
// folder to read or a run of files to probe, so with one thread the whole
// scan runs on one thread and with two the walk is shared too.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "quill/scan_probe.h"

namespace quill {

// Called, one call at a time, with each archive found and each file or
// folder that could not be read (Kind::Unreadable, the reason in error).
using ScanReportFn = std::function<void(const ScanResult &)>;

void WalkAndProbe(const std::vector<std::string> &paths, unsigned threads, bool test, const ScanReportFn &report);

}  // namespace quill
