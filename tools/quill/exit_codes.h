// exit_codes.h - what quill's exit code tells a script.
//
//   0  everything asked for was done (existing files skipped on purpose count
//      as done)
//   1  another failure: out of memory, an unexpected status of the library
//   2  the command line is wrong
//   3  the archive cannot be read: no such file, it cannot be opened, or it
//      holds no archive signature
//   4  damaged data: an entry's CRC does not match, or a header block is
//      damaged
//   5  a password is missing or wrong (data or header password)
//   6  an output file could not be created or written
//   7  stopped by the user (the "quit" answer, Ctrl-C)
//   8  nothing to do: no entry matches the masks
#pragma once

namespace quill {

enum ExitCode : int {
    kExitOk = 0,
    kExitFailure = 1,
    kExitUsage = 2,
    kExitUnreadable = 3,
    kExitDamaged = 4,
    kExitPassword = 5,
    kExitWriteFailed = 6,
    kExitStopped = 7,
    kExitNothingMatched = 8,
};

}  // namespace quill
