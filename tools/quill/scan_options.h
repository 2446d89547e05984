// scan_options.h - the command line of "quill scan [-j N] [--test] [--json]
// PATH...", parsed apart from the other commands' (scan takes paths, not an
// archive and masks).
#pragma once

#include <string>
#include <vector>

namespace quill {

struct ScanOptions {
    unsigned jobs = 0;               // worker threads; 0: the number of cores
    bool test = false;               // check every entry's CRC
    bool json = false;               // one JSON object a line
    bool help = false;
    std::vector<std::string> paths;  // files and folders, as given
};

struct ScanParse {
    bool ok = false;
    std::string error;  // for the usage message when !ok
    ScanOptions options;
};

// args are those after "scan".
ScanParse ParseScanArguments(const std::vector<std::string> &args);

const char *ScanUsageText();

}  // namespace quill
