// scan_command.h - "quill scan": finds and checks archives among many files
// with worker threads on the handle API, one archive per thread.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace quill {

// args are those after "scan"; returns the exit code (see ScanUsageText).
int RunScan(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

}  // namespace quill
