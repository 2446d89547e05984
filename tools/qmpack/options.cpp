// options.cpp - qmpack's command line (see options.h).
#include "qmpack/options.h"

#include <cstdio>
#include <optional>

#include "quill/codepage.h"
#include "quill/option_scanner.h"

namespace qmpack {

namespace {

constexpr const char *kHelp =
    "usage: qmpack [OPTIONS] ARCHIVE PATH...\n"
    "\n"
    "Packs files and folders (recursively) into the archive ARCHIVE.  Each PATH\n"
    "adds its own last level and everything below it: 'qmpack a.qm /home/u/docs'\n"
    "stores docs\\..., 'qmpack a.qm .' stores the current folder's contents.\n"
    "Names are stored in code page 437: a name with a character that does not\n"
    "come back as itself (letters like \xC5\xA1 or \xE2\x82\xAC) cannot be stored.  Each entry keeps\n"
    "the file's modification time (local time, 2-second steps) and its\n"
    "read-only bit.  Empty folders are not stored.  Options may stand anywhere;\n"
    "'--' ends them.\n"
    "\n"
    "  -m, --method METHOD      store   keep the bytes as they are\n"
    "                           lz      compress (the default); a file that does\n"
    "                                   not get smaller is stored\n"
    "                           audio   compress in audio mode\n"
    "                           auto    pick per block, audio where it pays\n"
    "  -1 ... -9                compress faster (-1) or smaller (-9); the default\n"
    "                           is -5, 1.7 times as fast as -6 for 2 % more\n"
    "      --fast, --best       -1, -9\n"
    "  -c, --cipher CIPHER      none    (the default without -p)\n"
    "                           des     single DES, each 8-byte block on its own\n"
    "                           3des    two-key triple DES in CBC mode (the\n"
    "                                   default with -p)\n"
    "                           3des-iv a chaining value ahead of the data, which\n"
    "                                   stays readable: it hides nothing\n"
    "  -p, --password PASSWORD  the data password (des, 3des): at most 249\n"
    "                           characters of Windows-1252, as quill reads it;\n"
    "                           an empty one is refused\n"
    "  -H, --header-password PASSWORD\n"
    "                           encipher the header blocks (names, sizes, times)\n"
    "                           with DES under this password (at most 255\n"
    "                           characters of Windows-1252; not empty)\n"
    "      --carrier FILE       put the archive behind the bytes of FILE (at most\n"
    "                           81,895 bytes: the archive must begin within the\n"
    "                           first 81,920)\n"
    "  -a, --append             add the files to the existing ARCHIVE (whose\n"
    "                           header blocks are plain); each call may use\n"
    "                           other -m, -c and -p, so one archive can mix them\n"
    "      --force              replace ARCHIVE even when it is not an archive\n"
    "                           (without it, only a file that holds an archive\n"
    "                           signature is replaced)\n"
    "      --strict             write nothing when any file cannot be packed\n"
    "  -q, --quiet              no line per file, no progress\n"
    "  -h, --help               this text\n"
    "      --version            the version\n"
    "\n"
    "A file or folder that cannot be read, or whose name cannot be stored, is\n"
    "named with the reason and left out; the rest is packed.  The archive is\n"
    "written beside ARCHIVE under a temporary name and renamed when complete, so\n"
    "a failure or Ctrl-C leaves an older ARCHIVE as it was.  On a terminal, the\n"
    "current file's progress is shown.\n"
    "\n"
    "Exit status: 0 everything packed; 1 a file or folder was left out (the\n"
    "archive holds the rest; with --strict nothing is written) or the archive\n"
    "could not be written; 2 a usage error.\n";

constexpr const char *kVersion = "qmpack 0.1.0 (Quillmark)\n";

enum OptionId {
    kMethodOption, kCipherOption, kPasswordOption, kHeaderPasswordOption, kCarrierOption,
    kAppendOption, kQuietOption, kHelpOption, kVersionOption, kForceOption, kStrictOption,
    kFastOption, kBestOption, kLevelOption,  // kLevelOption + n: -n
};

std::vector<quill::OptionSpec> Specs()
{
    std::vector<quill::OptionSpec> specs = {
        {kMethodOption, 'm', "method", true},
        {kCipherOption, 'c', "cipher", true},
        {kPasswordOption, 'p', "password", true},
        {kHeaderPasswordOption, 'H', "header-password", true},
        {kCarrierOption, '\0', "carrier", true},
        {kAppendOption, 'a', "append", false},
        {kQuietOption, 'q', "quiet", false},
        {kHelpOption, 'h', "help", false},
        {kVersionOption, '\0', "version", false},
        {kForceOption, '\0', "force", false},
        {kStrictOption, '\0', "strict", false},
        {kFastOption, '\0', "fast", false},
        {kBestOption, '\0', "best", false},
    };
    for (int level = kFastestLevel; level <= kSmallestLevel; ++level)
        specs.push_back({kLevelOption + level, static_cast<char>('0' + level), nullptr, false});
    return specs;
}

int UsageError(const std::string &message)
{
    std::fprintf(stderr, "qmpack: %s\n(qmpack --help tells more)\n", message.c_str());
    return 2;
}

// A password as quill takes it, or the usage error's message.
std::optional<std::string> LibraryPassword(const std::string &given, std::size_t longest, const char *what,
                                           std::string &error)
{
    if (given.empty()) {
        error = std::string("an empty ") + what + " is refused";
        return std::nullopt;
    }
    auto text = quill::ToLibraryText(given);
    if (!text) {
        error = std::string("the ") + what + " has characters outside Windows-1252 (quill could not give it)";
        return std::nullopt;
    }
    if (text->size() > longest) {
        error = std::string("the ") + what + " is longer than " + std::to_string(longest) + " characters";
        return std::nullopt;
    }
    return text;
}

}  // namespace

int ParseArguments(const std::vector<std::string> &args, Options &o)
{
    bool cipherGiven = false;
    bool passwordGiven = false;
    std::vector<std::string> operands;
    quill::OptionScanner scanner(args, Specs());
    for (;;) {
        const quill::ScannedArgument arg = scanner.Next();
        if (arg.kind == quill::ScannedArgument::Kind::End)
            break;
        if (arg.kind == quill::ScannedArgument::Kind::Operand) {
            operands.push_back(arg.written);
            continue;
        }
        if (arg.id < 0)
            return UsageError("unknown option " + arg.written);
        if (arg.unwantedValue)
            return UsageError(arg.written + " takes no value");
        const std::string &text = arg.value;
        std::string error;
        switch (arg.id) {
        case kHelpOption:
            std::fputs(kHelp, stdout);
            return 0;
        case kVersionOption:
            std::fputs(kVersion, stdout);
            return 0;
        case kQuietOption:
            o.quiet = true;
            break;
        case kAppendOption:
            o.append = true;
            break;
        case kForceOption:
            o.force = true;
            break;
        case kStrictOption:
            o.strict = true;
            break;
        case kFastOption:
            o.level = kFastestLevel;
            break;
        case kBestOption:
            o.level = kSmallestLevel;
            break;
        case kMethodOption:
            if (!arg.hasValue)
                return UsageError(arg.written + " needs a method");
            if (text == "store")
                o.method = Method::Store;
            else if (text == "lz")
                o.method = Method::Lz;
            else if (text == "audio")
                o.method = Method::Audio;
            else if (text == "auto")
                o.method = Method::Auto;
            else
                return UsageError("unknown method '" + text + "' (store, lz, audio or auto)");
            break;
        case kCipherOption:
            if (!arg.hasValue)
                return UsageError(arg.written + " needs a cipher");
            cipherGiven = true;
            if (text == "none")
                o.cipher = -1;
            else if (text == "des")
                o.cipher = 0;
            else if (text == "3des")
                o.cipher = 1;
            else if (text == "3des-iv")
                o.cipher = 2;
            else
                return UsageError("unknown cipher '" + text + "' (none, des, 3des or 3des-iv)");
            break;
        case kPasswordOption: {
            if (!arg.hasValue)
                return UsageError(arg.written + " needs a password");
            const auto password = LibraryPassword(text, 249, "password", error);
            if (!password)
                return UsageError(error);
            o.password = *password;
            passwordGiven = true;
            break;
        }
        case kHeaderPasswordOption: {
            if (!arg.hasValue)
                return UsageError(arg.written + " needs a password");
            const auto password = LibraryPassword(text, 255, "header password", error);
            if (!password)
                return UsageError(error);
            o.headerPassword = *password;
            o.encipherHeaders = true;
            break;
        }
        case kCarrierOption:
            if (!arg.hasValue)
                return UsageError(arg.written + " needs a file");
            o.carrier = text;
            break;
        default:
            o.level = arg.id - kLevelOption;
            break;
        }
    }
    if (operands.size() < 2)
        return UsageError(operands.empty() ? "no archive named" : "nothing to pack");
    o.archive = operands[0];
    o.paths.assign(operands.begin() + 1, operands.end());

    if (!cipherGiven && passwordGiven)
        o.cipher = 1;
    if ((o.cipher == 0 || o.cipher == 1) && !passwordGiven)
        return UsageError("the cipher needs a password (-p)");
    if (o.cipher == -1 && passwordGiven)
        return UsageError("a password with -c none: nothing would be enciphered");
    if (o.append && (o.encipherHeaders || !o.carrier.empty()))
        return UsageError("--append keeps the archive's carrier and plain header blocks: no -H, no --carrier");
    return -1;
}

}  // namespace qmpack
