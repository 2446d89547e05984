// command_line.cpp - parsing quill's arguments.
#include "quill/command_line.h"

#include <optional>

#include "quill/codepage.h"

namespace quill {

namespace {

ParsedCommandLine Fail(std::string error)
{
    ParsedCommandLine result;
    result.error = std::move(error);
    return result;
}

ParsedCommandLine Only(Command command)
{
    ParsedCommandLine result;
    result.ok = true;
    result.line.command = command;
    return result;
}

}  // namespace

const char *UsageText()
{
    return "usage: quill l [--json] ARCHIVE [MASK...]\n"
           "       quill t [-q] ARCHIVE [MASK...]\n"
           "       quill x [-o DIR] [-k] [--relative PATH] [-y | -n] [-q] ARCHIVE [MASK...]\n"
           "       quill scan [-j N] [--test] [--json] PATH...   (quill scan --help)\n"
           "       quill --help | --version\n"
           "\n"
           "  l            list the entries that match the masks (default: all)\n"
           "  t            test them: check every entry's CRC, writing nothing\n"
           "  x            extract them\n"
           "  --json       list as one JSON object (names in UTF-8)\n"
           "  -o DIR       extract into DIR (default: the current directory)\n"
           "  -k           keep the directories stored with the entries\n"
           "  --relative PATH\n"
           "               keep the stored directories below PATH, dropping PATH\n"
           "               itself (implies -k; entries outside PATH keep their path)\n"
           "  -y           overwrite existing files\n"
           "  -n           never overwrite existing files\n"
           "               (neither: ask on a terminal, otherwise skip them)\n"
           "  -q           quiet: no file names, no progress, only failures\n"
           "  -p PASSWORD  the password of enciphered entry data\n"
           "  -H PASSWORD, --header-password PASSWORD\n"
           "               the password of enciphered header blocks (without -H,\n"
           "               the -p password is tried for them too)\n"
           "  --           end of options: later arguments are masks\n"
           "\n"
           "Without -p or -H, quill asks for a password on the terminal when one is\n"
           "needed (never when it has no terminal).\n"
           "Masks use * and ?, for example *.TXT or DOC\\*.*; matching ignores case.\n"
           "\n"
           "Exit codes: 0 done, 1 other failure, 2 wrong command line, 3 archive not\n"
           "readable, 4 damaged data, 5 password missing or wrong, 6 output file not\n"
           "written, 7 stopped by the user, 8 no entry matches the masks.\n";
}

const char *VersionText() { return "quill 0.1.0 (Quillmark)\n"; }

ParsedCommandLine ParseCommandLine(const std::vector<std::string> &args)
{
    ParsedCommandLine result;
    CommandLine &line = result.line;
    if (args.empty())
        return Fail("no command given");

    const std::string &command = args[0];
    if (command == "-h" || command == "--help" || command == "help")
        return Only(Command::Help);
    if (command == "--version")
        return Only(Command::Version);
    if (command == "l")
        line.command = Command::List;
    else if (command == "t")
        line.command = Command::Test;
    else if (command == "x")
        line.command = Command::Extract;
    else
        return Fail("unknown command '" + command + "' (use l, t or x)");
    const bool extracting = line.command == Command::Extract;
    const bool listing = line.command == Command::List;

    bool optionsEnded = false;
    bool haveArchive = false;
    bool haveOutputDir = false;
    bool haveRelative = false;
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
        // The value of an option that takes one.
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 == args.size())
                return std::nullopt;
            return args[++i];
        };
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            return Only(Command::Help);
        } else if (arg == "--version") {
            return Only(Command::Version);
        } else if (arg == "--json" && listing) {
            line.json = true;
        } else if (arg == "-q" && !listing) {
            line.quiet = true;
        } else if (arg == "-k" && extracting) {
            line.keepDirectories = true;
        } else if (arg == "-y" && extracting) {
            if (line.neverOverwrite)
                return Fail("-y and -n exclude each other");
            line.overwrite = true;
        } else if (arg == "-n" && extracting) {
            if (line.overwrite)
                return Fail("-y and -n exclude each other");
            line.neverOverwrite = true;
        } else if (arg == "-o" && extracting) {
            if (haveOutputDir)
                return Fail("-o given twice");
            const auto given = value();
            if (!given)
                return Fail("-o needs a directory");
            const auto dir = ToLibraryPath(*given);
            if (!dir)
                return Fail("the directory '" + *given + "' has characters outside Windows-1252");
            if (dir->empty())
                return Fail("the directory after -o is empty");
            if (dir->size() > kMaxOutputDir)
                return Fail("the directory after -o is longer than 254 characters");
            line.outputDir = *dir;
            haveOutputDir = true;
        } else if (arg == "--relative" && extracting) {
            if (haveRelative)
                return Fail("--relative given twice");
            const auto given = value();
            if (!given)
                return Fail("--relative needs a path");
            auto path = ToLibraryPath(*given);
            if (!path)
                return Fail("the path '" + *given + "' has characters outside Windows-1252");
            while (!path->empty() && path->back() == '\\')
                path->pop_back();
            while (!path->empty() && path->front() == '\\')
                path->erase(path->begin());
            if (path->empty())
                return Fail("the path after --relative is empty");
            if (path->size() > kMaxRelativePath)
                return Fail("the path after --relative is longer than 260 characters");
            line.relativePath = *path;
            line.keepDirectories = true;
            haveRelative = true;
        } else if (arg == "-p") {
            if (line.passwordGiven)
                return Fail("-p given twice");
            const auto given = value();
            if (!given)
                return Fail("-p needs a password");
            const auto password = ToLibraryText(*given);
            if (!password)
                return Fail("the password has characters outside Windows-1252");
            if (password->size() > kMaxPassword)
                return Fail("the password is longer than 249 characters");
            line.password = *password;
            line.passwordGiven = true;
        } else if (arg == "-H" || arg == "--header-password") {
            if (line.headerPasswordGiven)
                return Fail(arg + " given twice");
            const auto given = value();
            if (!given)
                return Fail(arg + " needs a password");
            const auto password = ToLibraryText(*given);
            if (!password)
                return Fail("the header password has characters outside Windows-1252");
            if (password->size() > kMaxHeaderPassword)
                return Fail("the header password is longer than 255 characters");
            line.headerPassword = *password;
            line.headerPasswordGiven = true;
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
