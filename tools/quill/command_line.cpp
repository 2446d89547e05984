// command_line.cpp - parsing quill's arguments.
#include "quill/command_line.h"

#include <optional>

#include "quill/codepage.h"
#include "quill/option_scanner.h"

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
           "       quill x [-o DIR] [--relative PATH] [-y | -n] [-q] ARCHIVE [MASK...]\n"
           "       quill e [-o DIR] [-y | -n] [-q] ARCHIVE [MASK...]\n"
           "       quill scan [-j N] [--test] [--json] PATH...   (quill scan --help)\n"
           "       quill --help | --version\n"
           "\n"
           "  l            list the entries that match the masks (default: all)\n"
           "  t            test them: check every entry's CRC in memory, writing\n"
           "               nothing (no free space needed)\n"
           "  x            extract them with the folders stored in the archive\n"
           "  e            extract them all into one folder, without the stored\n"
           "               folders (names that meet: see -y and -n)\n"
           "  --json       list as one JSON object (names in UTF-8)\n"
           "  -o DIR, --output DIR\n"
           "               extract into DIR (default: the current directory)\n"
           "  -k           keep the stored folders (what x does anyway)\n"
           "  --relative PATH\n"
           "               x only: extract what lies below the stored folder PATH\n"
           "               without PATH itself (entries outside it keep their path)\n"
           "  -y           overwrite existing files (e says which entry replaced which)\n"
           "  -n           never overwrite existing files\n"
           "               (neither: ask on a terminal, otherwise skip them)\n"
           "  -q           quiet: no file names, no progress, only failures\n"
           "  -p PASSWORD, --password PASSWORD\n"
           "               the password of enciphered entry data\n"
           "  -H PASSWORD, --header-password PASSWORD\n"
           "               the password of enciphered header blocks (without -H,\n"
           "               the -p password is tried for them too)\n"
           "  --           end of options: later arguments are masks\n"
           "Short options may be bundled (-qy), and a value may follow '=' (--output=DIR)\n"
           "or the letter itself (-oDIR).  Options may stand anywhere after the command.\n"
           "\n"
           "Without -p or -H, quill asks for a password on the terminal when one is\n"
           "needed (never when it has no terminal).\n"
           "\n"
           "Masks: * stands for any characters and ? for one; case is ignored, and / and\n"
           "\\ both separate folders.  A mask without a separator is matched against the\n"
           "last part of each name, at any level: *.wav finds SOUND\\BOAT.WAV.  A mask with\n"
           "a separator is matched against the whole stored name, and there * crosses\n"
           "folders: doc/* finds DOC\\A.TXT and DOC\\SUB\\B.TXT.  Each mask that matches\n"
           "nothing is named, and the exit code is then 8.  Quote masks, so the shell\n"
           "leaves them alone: quill x a.qm '*.txt'.\n"
           "\n"
           "Exit codes: 0 done, 1 other failure, 2 wrong command line, 3 archive not\n"
           "readable, 4 damaged data, 5 password missing or wrong, 6 output file not\n"
           "written, 7 stopped by the user, 8 a mask matches no entry.\n";
}

const char *VersionText() { return "quill 0.1.0 (Quillmark)\n"; }

namespace {

enum OptionId { kHelp, kVersion, kJson, kQuiet, kKeep, kYes, kNo, kOutput, kRelative, kPassword, kHeaderPassword };

const std::vector<OptionSpec> &Options()
{
    static const std::vector<OptionSpec> specs = {
        {kHelp, 'h', "help", false},        {kVersion, '\0', "version", false},
        {kJson, '\0', "json", false},       {kQuiet, 'q', nullptr, false},
        {kKeep, 'k', nullptr, false},       {kYes, 'y', nullptr, false},
        {kNo, 'n', nullptr, false},         {kOutput, 'o', "output", true},
        {kRelative, '\0', "relative", true}, {kPassword, 'p', "password", true},
        {kHeaderPassword, 'H', "header-password", true},
    };
    return specs;
}

// Whether an option means something to the command.
bool Applies(int id, Command command, bool flat)
{
    switch (id) {
    case kJson:
        return command == Command::List;
    case kQuiet:
        return command != Command::List;
    case kKeep:
    case kRelative:
        return command == Command::Extract && !flat;
    case kYes:
    case kNo:
    case kOutput:
        return command == Command::Extract;
    default:
        return true;
    }
}

}  // namespace

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
    bool flat = false;
    if (command == "l") {
        line.command = Command::List;
    } else if (command == "t") {
        line.command = Command::Test;
    } else if (command == "x") {
        line.command = Command::Extract;
        line.keepDirectories = true;
    } else if (command == "e") {
        line.command = Command::Extract;
        flat = true;
    } else {
        return Fail("unknown command '" + command + "' (use l, t, x or e)");
    }

    bool haveArchive = false;
    bool haveOutputDir = false;
    bool haveRelative = false;
    OptionScanner scanner(args, Options(), 1);
    for (;;) {
        const ScannedArgument arg = scanner.Next();
        if (arg.kind == ScannedArgument::Kind::End)
            break;
        if (arg.kind == ScannedArgument::Kind::Operand) {
            if (!haveArchive) {
                const auto path = ToLibraryPath(arg.written);
                if (!path)
                    return Fail("the archive path '" + arg.written + "' has characters outside Windows-1252");
                if (path->empty())
                    return Fail("the archive path is empty");
                if (path->size() > kMaxArchivePath)
                    return Fail("the archive path is longer than 260 characters");
                line.archive = *path;
                haveArchive = true;
            } else {
                const auto mask = ToLibraryText(arg.written);
                if (!mask)
                    return Fail("the mask '" + arg.written + "' has characters outside Windows-1252");
                if (mask->size() > kMaxMask)
                    return Fail("the mask '" + arg.written + "' is longer than 255 characters");
                line.masks.push_back(*mask);
            }
            continue;
        }
        if (arg.id == kHelp)
            return Only(Command::Help);
        if (arg.id == kVersion)
            return Only(Command::Version);
        if (arg.id < 0 || !Applies(arg.id, line.command, flat))
            return Fail("unknown option '" + arg.written + "' for " + command);
        if (arg.unwantedValue)
            return Fail(arg.written + " takes no value");
        switch (arg.id) {
        case kJson:
            line.json = true;
            break;
        case kQuiet:
            line.quiet = true;
            break;
        case kKeep:
            break;  // x keeps the stored folders anyway
        case kYes:
            if (line.neverOverwrite)
                return Fail("-y and -n exclude each other");
            line.overwrite = true;
            break;
        case kNo:
            if (line.overwrite)
                return Fail("-y and -n exclude each other");
            line.neverOverwrite = true;
            break;
        case kOutput: {
            if (haveOutputDir)
                return Fail(arg.written + " given twice");
            if (!arg.hasValue)
                return Fail(arg.written + " needs a directory");
            const auto dir = ToLibraryPath(arg.value);
            if (!dir)
                return Fail("the directory '" + arg.value + "' has characters outside Windows-1252");
            if (dir->empty())
                return Fail("the directory after " + arg.written + " is empty");
            if (dir->size() > kMaxOutputDir)
                return Fail("the directory after " + arg.written + " is longer than 254 characters");
            line.outputDir = *dir;
            haveOutputDir = true;
            break;
        }
        case kRelative: {
            if (haveRelative)
                return Fail("--relative given twice");
            if (!arg.hasValue)
                return Fail("--relative needs a path");
            auto path = ToLibraryPath(arg.value);
            if (!path)
                return Fail("the path '" + arg.value + "' has characters outside Windows-1252");
            while (!path->empty() && path->back() == '\\')
                path->pop_back();
            while (!path->empty() && path->front() == '\\')
                path->erase(path->begin());
            if (path->empty())
                return Fail("the path after --relative is empty");
            if (path->size() > kMaxRelativePath)
                return Fail("the path after --relative is longer than 260 characters");
            line.relativePath = *path;
            haveRelative = true;
            break;
        }
        case kPassword: {
            if (line.passwordGiven)
                return Fail(arg.written + " given twice");
            if (!arg.hasValue)
                return Fail(arg.written + " needs a password");
            const auto password = ToLibraryText(arg.value);
            if (!password)
                return Fail("the password has characters outside Windows-1252");
            if (password->size() > kMaxPassword)
                return Fail("the password is longer than 249 characters");
            line.password = *password;
            line.passwordGiven = true;
            break;
        }
        case kHeaderPassword: {
            if (line.headerPasswordGiven)
                return Fail(arg.written + " given twice");
            if (!arg.hasValue)
                return Fail(arg.written + " needs a password");
            const auto password = ToLibraryText(arg.value);
            if (!password)
                return Fail("the header password has characters outside Windows-1252");
            if (password->size() > kMaxHeaderPassword)
                return Fail("the header password is longer than 255 characters");
            line.headerPassword = *password;
            line.headerPasswordGiven = true;
            break;
        }
        default:
            break;
        }
    }
    if (!haveArchive)
        return Fail("no archive given");
    result.ok = true;
    return result;
}

}  // namespace quill
