// option_scanner.h - command-line options the way getopt_long reads them,
// for quill and qmpack.
//
//   -q -y        short options, also bundled: -qy
//   -p VALUE     a short option's value: the next argument, or the rest of
//   -pVALUE      the same argument (-qypVALUE)
//   --name       long options; a value follows as the next argument or
//   --name=VALUE after '='
//   --           ends the options: every later argument is an operand
//   -            a lone dash is an operand
//
// Options and operands may come in any order.  The scanner only splits the
// arguments; what an option means, and whether it applies, is the caller's.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace quill {

struct OptionSpec {
    int id;               // the caller's name for the option
    char shortName;       // '\0': none
    const char *longName; // without the dashes; nullptr: none
    bool takesValue;
};

struct ScannedArgument {
    enum class Kind { Option, Operand, End };
    Kind kind = Kind::End;
    int id = -1;              // Option: the option's id; -1 for an unknown option
    std::string written;      // Option: as written, "-p" or "--password"; Operand: the text
    bool hasValue = false;    // Option that takes a value: false when none followed
    std::string value;
    bool unwantedValue = false;  // "--name=VALUE" for an option without a value
};

class OptionScanner {
public:
    // Scans args from index `first` on.
    OptionScanner(const std::vector<std::string> &args, std::vector<OptionSpec> specs, std::size_t first = 0);

    ScannedArgument Next();

private:
    const OptionSpec *FindShort(char c) const;
    const OptionSpec *FindLong(const std::string &name) const;
    ScannedArgument Short();

    const std::vector<std::string> &args_;
    std::vector<OptionSpec> specs_;
    std::size_t next_;
    std::string bundle_;  // the rest of a bundle of short options
    bool ended_ = false;
};

}  // namespace quill
