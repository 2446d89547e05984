// option_scanner.cpp - splitting arguments into options and operands (see
// option_scanner.h).
#include "quill/option_scanner.h"

#include <utility>

namespace quill {

OptionScanner::OptionScanner(const std::vector<std::string> &args, std::vector<OptionSpec> specs,
                             std::size_t first)
    : args_(args), specs_(std::move(specs)), next_(first)
{
}

const OptionSpec *OptionScanner::FindShort(char c) const
{
    for (const OptionSpec &option : specs_)
        if (option.shortName != '\0' && option.shortName == c)
            return &option;
    return nullptr;
}

const OptionSpec *OptionScanner::FindLong(const std::string &name) const
{
    for (const OptionSpec &option : specs_)
        if (option.longName && name == option.longName)
            return &option;
    return nullptr;
}

// The first short option of bundle_; a value-taking one takes the rest of
// the bundle, or else the next argument.
ScannedArgument OptionScanner::Short()
{
    ScannedArgument result;
    result.kind = ScannedArgument::Kind::Option;
    const char c = bundle_[0];
    bundle_.erase(0, 1);
    result.written = std::string("-") + c;
    const OptionSpec *option = FindShort(c);
    if (!option)
        return result;
    result.id = option->id;
    if (!option->takesValue)
        return result;
    if (!bundle_.empty()) {
        result.value = std::move(bundle_);
        bundle_.clear();
        result.hasValue = true;
    } else if (next_ < args_.size()) {
        result.value = args_[next_++];
        result.hasValue = true;
    }
    return result;
}

ScannedArgument OptionScanner::Next()
{
    if (!bundle_.empty())
        return Short();
    ScannedArgument result;
    while (next_ < args_.size()) {
        const std::string &arg = args_[next_++];
        if (ended_ || arg.size() < 2 || arg[0] != '-') {
            result.kind = ScannedArgument::Kind::Operand;
            result.written = arg;
            return result;
        }
        if (arg == "--") {
            ended_ = true;
            continue;
        }
        if (arg[1] != '-') {
            bundle_ = arg.substr(1);
            return Short();
        }
        result.kind = ScannedArgument::Kind::Option;
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        result.written = "--" + name;
        const OptionSpec *option = FindLong(name);
        if (!option)
            return result;
        result.id = option->id;
        if (equals != std::string::npos) {
            result.value = arg.substr(equals + 1);
            result.hasValue = true;
            result.unwantedValue = !option->takesValue;
        } else if (option->takesValue && next_ < args_.size()) {
            result.value = args_[next_++];
            result.hasValue = true;
        }
        return result;
    }
    return result;  // End
}

}  // namespace quill
