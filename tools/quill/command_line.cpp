// command_line.cpp - parsing quill's arguments.
#include "quill/command_line.h"

#include "quill/codepage.h"

namespace quill {

namespace {

ParsedCommandLine Fail(std::string error)
{
    ParsedCommandLine result;
    result.error = std::move(error);
    return result;
}

}  // namespace

const char *UsageText()
{
    return "usage: quill l ARCHIVE [-p PASSWORD] [MASK...]\n"
           "       quill x ARCHIVE [-o DIR] [-k] [-p PASSWORD] [-y] [MASK...]\n"
           "\n"
           "  l            list the entries that match the masks (default: all)\n"
           "  x            extract the entries that match the masks (default: all)\n"
           "  -o DIR       extract into DIR (default: the current directory)\n"
           "  -k           keep the directories stored with the entries\n"
           "  -p PASSWORD  the password of enciphered data or header blocks\n"
           "  -y           overwrite existing files (default: skip them)\n"
           "  --           end of options: later arguments are masks\n"
           "\n"
           "Masks use * and ?, for example *.TXT or DOC\\*.*; matching ignores case.\n";
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string> &args)
{
    ParsedCommandLine result;
    CommandLine &line = result.line;
    if (args.empty())
        return Fail("no command given");

    const std::string &command = args[0];
    if (command == "-h" || command == "--help" || command == "help") {
        result.ok = true;
        return result;
    }
    if (command == "l")
        line.command = Command::List;
    else if (command == "x")
        line.command = Command::Extract;
    else
        return Fail("unknown command '" + command + "' (use l or x)");
    const bool extracting = line.command == Command::Extract;

    bool optionsEnded = false;
    bool haveArchive = false;
    bool haveOutputDir = false;
    bool havePassword = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string &arg = args[i];
        const bool isOption = !optionsEnded && arg.size() > 1 && arg[0] == '-';
        if (!isOption) {
            if (!haveArchive) {
                const auto path = ToLibraryPath(arg);
                if (!path)
                    return Fail("the archive path '" + arg + "' has characters outside Windows-1252");
                if (path->empty())
                    return Fail("the archive path is empty");
                if (path->size() > kMaxArchivePath)
                    return Fail("the archive path is longer than 260 characters");
                line.archive = *path;
                haveArchive = true;
            } else {
                const auto mask = ToLibraryText(arg);
                if (!mask)
                    return Fail("the mask '" + arg + "' has characters outside Windows-1252");
                if (mask->size() > kMaxMask)
                    return Fail("the mask '" + arg + "' is longer than 255 characters");
                line.masks.push_back(*mask);
            }
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-k" && extracting) {
            line.keepDirectories = true;
        } else if (arg == "-y" && extracting) {
            line.overwrite = true;
        } else if (arg == "-o" && extracting) {
            if (haveOutputDir)
                return Fail("-o given twice");
            if (i + 1 == args.size())
                return Fail("-o needs a directory");
            const std::string &value = args[++i];
            const auto dir = ToLibraryPath(value);
            if (!dir)
                return Fail("the directory '" + value + "' has characters outside Windows-1252");
            if (dir->empty())
                return Fail("the directory after -o is empty");
            if (dir->size() > kMaxOutputDir)
                return Fail("the directory after -o is longer than 254 characters");
            line.outputDir = *dir;
            haveOutputDir = true;
        } else if (arg == "-p") {
            if (havePassword)
                return Fail("-p given twice");
            if (i + 1 == args.size())
                return Fail("-p needs a password");
            const auto password = ToLibraryText(args[++i]);
            if (!password)
                return Fail("the password has characters outside Windows-1252");
            if (password->size() > kMaxPassword)
                return Fail("the password is longer than 249 characters");
            line.password = *password;
            havePassword = true;
        } else {
            return Fail("unknown option '" + arg + "' for " + command);
        }
    }
    if (!haveArchive)
        return Fail("no archive given");
    result.ok = true;
    return result;
}

}  // namespace quill
