// options.h - what the user asked qmpack to do.
//
// Options may stand anywhere on the command line, bundled and with '=' as
// getopt reads them (quill's option scanner); "--" ends them.  The first
// operand is the archive, the others are the files and folders to pack.
// Passwords are read exactly as quill reads them: the UTF-8 command line
// becomes Windows-1252, and a character without a form there is refused, so
// an archive packed with a password opens with the same password in quill.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "packer/encoder.h"

namespace qmpack {

enum class Method { Store, Lz, Audio, Auto };

struct Options {
    Method method = Method::Lz;
    int level = kDefaultLevel;    // -1 ... -9
    std::int32_t cipher = -1;     // -1 none, 0 des, 1 3des, 2 3des-iv
    std::string password;         // Windows-1252
    std::string headerPassword;   // Windows-1252
    bool encipherHeaders = false;
    std::string carrier;
    bool quiet = false;
    bool append = false;
    bool force = false;           // replace a file that is not an archive
    bool strict = false;          // nothing written when a file cannot be packed
    std::string archive;
    std::vector<std::string> paths;
};

// Parses the arguments after the program name.  Returns -1 when qmpack
// should go on, else the exit status to end with (help, version, a usage
// error, whose message it has written).
int ParseArguments(const std::vector<std::string> &args, Options &options);

}  // namespace qmpack
