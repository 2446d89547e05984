// qmpack - packs files and folders into a Quillmark archive.
//
// The command line: options, the archive to write, then the files and
// folders to pack (see kHelp).  The work is in three steps: the walk finds
// the files and their names (file_walk), the names become code page 437
// (oem_name), and each file's bytes are compressed and enciphered into an
// entry of the carrier the packer's library writes.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "packer/carrier_writer.h"
#include "packer/encoder.h"
#include "packer_crypto/packer_crypto.h"
#include "qmpack/append.h"
#include "qmpack/file_walk.h"
#include "qmpack/oem_name.h"

namespace {

constexpr const char *kHelp =
    "usage: qmpack [OPTIONS] ARCHIVE PATH...\n"
    "\n"
    "Packs files and folders (recursively) into the archive ARCHIVE.  Each PATH\n"
    "adds its own last level and everything below it: 'qmpack a.qm /home/u/docs'\n"
    "stores docs\\..., 'qmpack a.qm .' stores the current folder's contents.\n"
    "Names are stored in code page 437: a name with a character that does not\n"
    "come back as itself (letters like \xC5\xA1 or \xE2\x82\xAC) is refused.  Each entry keeps\n"
    "the file's modification time (local time, 2-second steps) and its\n"
    "read-only bit.  Empty folders are not stored.\n"
    "\n"
    "  -m, --method METHOD      store   keep the bytes as they are\n"
    "                           lz      compress (the default); a file that does\n"
    "                                   not get smaller is stored\n"
    "                           audio   compress in audio mode\n"
    "                           auto    pick per block, audio where it pays\n"
    "  -c, --cipher CIPHER      none    (the default without -p)\n"
    "                           des     single DES, each 8-byte block on its own\n"
    "                           3des    two-key triple DES in CBC mode (the\n"
    "                                   default with -p)\n"
    "                           3des-iv a chaining value ahead of the data, which\n"
    "                                   stays readable: it hides nothing\n"
    "  -p, --password PASSWORD  the data password (des, 3des; at most 249 bytes)\n"
    "  -H, --header-password PASSWORD\n"
    "                           encipher the header blocks (names, sizes, times)\n"
    "                           with DES under this password (at most 255 bytes)\n"
    "      --carrier FILE       put the archive behind the bytes of FILE (at most\n"
    "                           81,895 bytes: the archive must begin within the\n"
    "                           first 81,920)\n"
    "  -a, --append             add the files to the existing ARCHIVE (whose\n"
    "                           header blocks are plain); each call may use\n"
    "                           other -m, -c and -p, so one archive can mix them\n"
    "  -q, --quiet              no line per file\n"
    "  -h, --help               this text\n"
    "\n"
    "Exit status: 0 packed, 1 a file could not be packed or the archive not\n"
    "written (nothing is written then), 2 a usage error.\n";

constexpr std::size_t kLargestCarrier = 0x14000 - 25;

enum class Method { Store, Lz, Audio, Auto };

struct Options {
    Method method = Method::Lz;
    std::int32_t cipher = -1;
    bool cipherGiven = false;
    std::string password;
    std::string headerPassword;
    bool encipherHeaders = false;
    std::string carrier;
    bool quiet = false;
    bool append = false;
    std::string archive;
    std::vector<std::string> paths;
};

int UsageError(const std::string &message)
{
    std::fprintf(stderr, "qmpack: %s\n(qmpack --help tells more)\n", message.c_str());
    return 2;
}

// Returns -1 when parsed, else the exit status to end with.
int ParseArguments(int argc, char **argv, Options &o)
{
    int i = 1;
    for (; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--") {
            ++i;
            break;
        }
        if (flag.size() < 2 || flag[0] != '-')
            break;
        auto value = [&](std::string &out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string text;
        if (flag == "-h" || flag == "--help") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (flag == "-q" || flag == "--quiet") {
            o.quiet = true;
        } else if (flag == "-a" || flag == "--append") {
            o.append = true;
        } else if (flag == "-m" || flag == "--method") {
            if (!value(text))
                return UsageError(flag + " needs a method");
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
        } else if (flag == "-c" || flag == "--cipher") {
            if (!value(text))
                return UsageError(flag + " needs a cipher");
            o.cipherGiven = true;
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
        } else if (flag == "-p" || flag == "--password") {
            if (!value(o.password))
                return UsageError(flag + " needs a password");
        } else if (flag == "-H" || flag == "--header-password") {
            if (!value(o.headerPassword))
                return UsageError(flag + " needs a password");
            o.encipherHeaders = true;
        } else if (flag == "--carrier") {
            if (!value(o.carrier))
                return UsageError(flag + " needs a file");
        } else {
            return UsageError("unknown option " + flag);
        }
    }
    if (argc - i < 2)
        return UsageError(argc - i == 0 ? "no archive named" : "nothing to pack");
    o.archive = argv[i++];
    o.paths.assign(argv + i, argv + argc);

    if (!o.cipherGiven && !o.password.empty())
        o.cipher = 1;
    if ((o.cipher == 0 || o.cipher == 1) && o.password.empty())
        return UsageError("the cipher needs a password (-p)");
    if (o.cipher == -1 && !o.password.empty())
        return UsageError("a password with -c none: nothing would be enciphered");
    if (o.password.size() > 249)
        return UsageError("the data password has more than 249 bytes");
    if (o.headerPassword.size() > 255)
        return UsageError("the header password has more than 255 bytes");
    if (o.append && (o.encipherHeaders || !o.carrier.empty()))
        return UsageError("--append keeps the archive's carrier and plain header blocks: no -H, no --carrier");
    if (o.method == Method::Audio || o.method == Method::Auto)
        return UsageError("-m audio and -m auto are not available in this build");
    return -1;
}

// The bytes to store for one file: compressed when that makes them smaller
// (an entry is compressed exactly when its packed size is below its unpacked
// size), then enciphered.
qmpack::EntrySpec MakeEntry(const Options &o, const std::string &name, const qmpack::Bytes &data,
                            std::mt19937 &rng)
{
    qmpack::ChainingBlock chaining;
    for (auto &b : chaining)
        b = static_cast<std::uint8_t>(rng());
    qmpack::EntrySpec entry = qmpack::EncipheredEntry(name, data, o.cipher, o.password, chaining);
    if (o.method != Method::Store && !data.empty()) {
        const qmpack::Bytes packed = qmpack::EncipherData(qmpack::EncodeLz(data), o.cipher, o.password, chaining);
        if (packed.size() < data.size())
            entry.stored = packed;
    }
    return entry;
}

}  // namespace

int main(int argc, char **argv)
{
    Options o;
    if (const int status = ParseArguments(argc, argv, o); status >= 0)
        return status;
    if (o.cipher == 2)
        std::fprintf(stderr, "qmpack: note: -c 3des-iv leaves the data readable\n");

    qmpack::CarrierSpec layout;
    qmpack::ExistingArchive existing;
    if (o.append) {
        existing = qmpack::ReadForAppend(o.archive);
        if (!existing.error.empty()) {
            std::fprintf(stderr, "qmpack: %s %s\n", o.archive.c_str(), existing.error.c_str());
            return 1;
        }
    }
    if (!o.carrier.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(o.carrier, ec)) {
            std::fprintf(stderr, "qmpack: %s: the carrier is not a readable file\n", o.carrier.c_str());
            return 1;
        }
        layout.prefix = qmpack::ReadFile(o.carrier);
        // The library looks for the signature record in the first 81,920
        // bytes of a carrier, and the record's first 25 bytes must lie there.
        if (layout.prefix.size() > kLargestCarrier) {
            std::fprintf(stderr,
                         "qmpack: %s: a carrier may have at most %zu bytes: the archive must begin "
                         "within the first 81,920 bytes\n",
                         o.carrier.c_str(), kLargestCarrier);
            return 1;
        }
        // The library takes the first signature record it meets.
        if (qmpack::FindSignature(layout.prefix) != std::string::npos) {
            std::fprintf(stderr, "qmpack: %s: the carrier holds an archive signature already\n",
                         o.carrier.c_str());
            return 1;
        }
    }
    if (o.encipherHeaders) {
        layout.flags = 1;
        layout.encipherHeader = qmpack::HeaderEncipherer(o.headerPassword);
    }

    const qmpack::WalkResult walk = qmpack::WalkPaths(o.paths, o.archive);
    for (const std::string &line : walk.skipped)
        std::fprintf(stderr, "qmpack: skipped %s\n", line.c_str());
    bool failed = false;
    for (const std::string &line : walk.errors) {
        std::fprintf(stderr, "qmpack: %s\n", line.c_str());
        failed = true;
    }

    std::random_device seed;
    std::mt19937 rng(seed());
    std::set<std::string> names;  // upper-cased: the library matches names without case
    auto fold = [](std::string name) {
        for (char &c : name)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        return name;
    };
    for (const std::string &name : existing.names)
        names.insert(fold(name));
    std::uint64_t total = o.append ? existing.bytes.size() : layout.prefix.size() + qmpack::kSignatureRecordSize;
    std::uint64_t unpackedTotal = 0;
    for (const qmpack::FoundFile &file : walk.files) {
        const qmpack::OemName oem = qmpack::ToOemName(file.name);
        if (!oem.refused.empty()) {
            std::fprintf(stderr, "qmpack: %s: the name cannot be stored: '%s' %s\n", file.path.c_str(),
                         oem.refused.c_str(), oem.reason.c_str());
            failed = true;
            continue;
        }
        if (oem.bytes.size() > 255) {
            std::fprintf(stderr, "qmpack: %s: the stored name would have more than 255 characters\n",
                         file.path.c_str());
            failed = true;
            continue;
        }
        if (!names.insert(fold(oem.bytes)).second) {
            std::fprintf(stderr, "qmpack: %s: another file is already stored as %s\n", file.path.c_str(),
                         file.name.c_str());
            failed = true;
            continue;
        }
        if (file.size > 0x7FFFFFF0u) {
            std::fprintf(stderr, "qmpack: %s: larger than an archive can hold\n", file.path.c_str());
            failed = true;
            continue;
        }
        const qmpack::Bytes data = qmpack::ReadFile(file.path);
        if (data.size() != file.size) {
            std::fprintf(stderr, "qmpack: %s: cannot be read whole\n", file.path.c_str());
            failed = true;
            continue;
        }
        qmpack::EntrySpec entry = MakeEntry(o, oem.bytes, data, rng);
        entry.dosDateTime = file.dosDateTime;
        entry.attributes = file.attributes;
        total += qmpack::kHeaderBlockSize + entry.stored.size();
        unpackedTotal += data.size();
        if (!o.quiet)
            std::printf("%-40s %10zu -> %10zu\n", file.name.c_str(), data.size(), entry.stored.size());
        layout.entries.push_back(std::move(entry));
    }
    const char *untouched = o.append ? "left as it was" : "not written";
    if (failed) {
        std::fprintf(stderr, "qmpack: %s %s\n", o.archive.c_str(), untouched);
        return 1;
    }
    if (layout.entries.empty()) {
        std::fprintf(stderr, "qmpack: no file to pack; %s %s\n", o.archive.c_str(), untouched);
        return 1;
    }
    if (total > 0x7FFFFFFFu) {
        std::fprintf(stderr, "qmpack: an archive must stay below 2 GiB; %s %s\n", o.archive.c_str(), untouched);
        return 1;
    }
    qmpack::Bytes bytes;
    if (o.append) {
        bytes = std::move(existing.bytes);
        for (const qmpack::EntrySpec &e : layout.entries) {
            const auto block = qmpack::BuildHeaderBlock(e);
            bytes.insert(bytes.end(), block.begin(), block.end());
            bytes.insert(bytes.end(), e.stored.begin(), e.stored.end());
        }
    } else {
        bytes = qmpack::BuildCarrier(layout);
    }
    // Written beside and renamed, so a failed write leaves an older archive whole.
    const std::string temporary = o.archive + ".qmpack-tmp";
    if (!qmpack::WriteFile(temporary, bytes) || std::rename(temporary.c_str(), o.archive.c_str()) != 0) {
        std::remove(temporary.c_str());
        std::fprintf(stderr, "qmpack: cannot write %s\n", o.archive.c_str());
        return 1;
    }
    if (!o.quiet)
        std::printf("%zu files, %llu bytes -> %s, %llu bytes\n", layout.entries.size(),
                    static_cast<unsigned long long>(unpackedTotal), o.archive.c_str(),
                    static_cast<unsigned long long>(total));
    return 0;
}
