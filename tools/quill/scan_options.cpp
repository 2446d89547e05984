// scan_options.cpp - parsing "quill scan"'s arguments.
#include "quill/scan_options.h"

#include <charconv>

namespace quill {

namespace {

// A thread count of 1 to 1024 ("-j 4" or "-j4").
bool ParseJobs(const std::string &text, unsigned *jobs)
{
    unsigned n = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (error != std::errc() || end != text.data() + text.size() || n < 1 || n > 1024)
        return false;
    *jobs = n;
    return true;
}

}  // namespace

ScanParse ParseScanArguments(const std::vector<std::string> &args)
{
    ScanParse result;
    ScanOptions &o = result.options;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            o.paths.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--test") {
            o.test = true;
        } else if (arg == "--json") {
            o.json = true;
        } else if (arg == "-h" || arg == "--help") {
            o.help = true;
        } else if (arg == "-j" || arg == "--jobs") {
            if (i + 1 >= args.size() || !ParseJobs(args[++i], &o.jobs)) {
                result.error = arg + " needs a number of threads from 1 to 1024";
                return result;
            }
        } else if (arg.rfind("-j", 0) == 0 && arg.size() > 2) {
            if (!ParseJobs(arg.substr(2), &o.jobs)) {
                result.error = "-j needs a number of threads from 1 to 1024";
                return result;
            }
        } else {
            result.error = "unknown option '" + arg + "' for scan";
            return result;
        }
    }
    if (o.paths.empty() && !o.help) {
        result.error = "scan needs at least one file or folder";
        return result;
    }
    result.ok = true;
    return result;
}

const char *ScanUsageText()
{
    return "usage: quill scan [-j N] [--test] [--json] PATH...\n"
           "\n"
           "Looks through files and folders (recursively) for files that hold an\n"
           "archive and reports each: its path, the offset of its signature, its\n"
           "entry count and its header cipher.  A file that holds none costs one read\n"
           "of its first 81,920 bytes and is not reported.  Links inside the folders\n"
           "are not followed; files that cannot be read are named on standard error\n"
           "and the scan goes on.\n"
           "\n"
           "  -j N     N threads, sharing the walk and the files (default: the\n"
           "           number of cores)\n"
           "  --test   also read every entry into memory and check its CRC\n"
           "  --json   one JSON object per archive, one a line\n"
           "\n"
           "Exit codes: 0 every file was looked at, 2 wrong command line, 3 some\n"
           "file or folder could not be read, 4 an archive is damaged (a header\n"
           "block, or with --test an entry).\n";
}

}  // namespace quill
