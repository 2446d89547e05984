// qmpack - writes an archive: a carrier file holding the given files.
//
//   qmpack [-c] [-m METHOD -p PASSWORD] [-H PASSWORD] [-j] [-P FILE] ARCHIVE FILE...
//
//   -c           compress each file (kept stored when compressing does not pay)
//   -m METHOD    cipher method of the entry data: -1 none (default), 0 DES,
//                1 two-key triple DES, 2 chaining value only
//   -p PASSWORD  the data password (methods 0 and 1)
//   -H PASSWORD  encipher the header blocks with DES under this password
//   -j           store bare file names, without directories
//   -P FILE      put the archive behind the bytes of FILE (a carrier)
//
// Stored names keep the path as given, with backslashes, without a leading
// "./" or "/"; their bytes are taken as they are (the library reads them as
// code page 437).  Each entry gets the file's modification time as a local
// DOS date/time and the archive attribute (plus read-only when the file is
// not writable).
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "packer/carrier_writer.h"
#include "packer/encoder.h"
#include "packer_crypto/packer_crypto.h"

namespace {

struct Options {
    bool compress = false;
    bool junkPaths = false;
    std::int32_t method = -1;
    std::string password;
    std::string headerPassword;
    bool encipherHeaders = false;
    std::string prefixFile;
    std::string archive;
    std::vector<std::string> files;
};

int Usage()
{
    std::fprintf(stderr,
                 "usage: qmpack [-c] [-m METHOD -p PASSWORD] [-H PASSWORD] [-j] [-P FILE] "
                 "ARCHIVE FILE...\n");
    return 2;
}

bool ParseArguments(int argc, char **argv, Options &o)
{
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; ++i) {
        const std::string flag = argv[i];
        auto value = [&](std::string &out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string text;
        if (flag == "-c") {
            o.compress = true;
        } else if (flag == "-j") {
            o.junkPaths = true;
        } else if (flag == "-m") {
            if (!value(text))
                return false;
            char *end = nullptr;
            const long m = std::strtol(text.c_str(), &end, 10);
            if (*end != '\0' || m < -1 || m > 2)
                return false;
            o.method = static_cast<std::int32_t>(m);
        } else if (flag == "-p") {
            if (!value(o.password))
                return false;
        } else if (flag == "-H") {
            if (!value(o.headerPassword))
                return false;
            o.encipherHeaders = true;
        } else if (flag == "-P") {
            if (!value(o.prefixFile))
                return false;
        } else {
            return false;
        }
    }
    if (argc - i < 2)
        return false;
    o.archive = argv[i++];
    o.files.assign(argv + i, argv + argc);
    return o.password.size() <= 249 && o.headerPassword.size() <= 255;
}

std::string StoredName(std::string path, bool junkPaths)
{
    if (junkPaths) {
        const auto slash = path.find_last_of('/');
        if (slash != std::string::npos)
            path.erase(0, slash + 1);
    }
    while (path.rfind("./", 0) == 0)
        path.erase(0, 2);
    while (!path.empty() && path[0] == '/')
        path.erase(0, 1);
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path;
}

std::uint32_t DosDateTime(std::time_t t)
{
    std::tm local{};
    localtime_r(&t, &local);
    if (local.tm_year < 80)
        return (1u << 5 | 1u) << 16;  // 1980-01-01 00:00:00, the earliest DOS date
    const std::uint32_t date = static_cast<std::uint32_t>((local.tm_year - 80) << 9 |
                                                          (local.tm_mon + 1) << 5 | local.tm_mday);
    const std::uint32_t time =
        static_cast<std::uint32_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
    return date << 16 | time;
}

// The bytes stored for one file: compressed when that is smaller, then
// enciphered.  An entry is compressed exactly when its packed size is below
// its unpacked size, so compression that does not pay is dropped.
qmpack::EntrySpec MakeEntry(const Options &o, const std::string &path, const qmpack::Bytes &data,
                            std::mt19937 &rng)
{
    qmpack::ChainingBlock chaining;
    for (auto &b : chaining)
        b = static_cast<std::uint8_t>(rng());
    const std::string name = StoredName(path, o.junkPaths);
    qmpack::EntrySpec entry = qmpack::EncipheredEntry(name, data, o.method, o.password, chaining);
    if (o.compress && !data.empty()) {
        const qmpack::Bytes packed = qmpack::EncipherData(qmpack::EncodeLz(data), o.method,
                                                          o.password, chaining);
        if (packed.size() < data.size())
            entry.stored = packed;
    }
    return entry;
}

}  // namespace

int main(int argc, char **argv)
{
    Options o;
    if (!ParseArguments(argc, argv, o))
        return Usage();

    qmpack::CarrierSpec carrier;
    if (!o.prefixFile.empty())
        carrier.prefix = qmpack::ReadFile(o.prefixFile);
    if (o.encipherHeaders) {
        carrier.flags = 1;
        carrier.encipherHeader = qmpack::HeaderEncipherer(o.headerPassword);
    }

    std::random_device seed;
    std::mt19937 rng(seed());
    std::uint64_t total = 0;
    for (const std::string &path : o.files) {
        struct stat st;
        if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            std::fprintf(stderr, "qmpack: %s: not a readable file\n", path.c_str());
            return 1;
        }
        const qmpack::Bytes data = qmpack::ReadFile(path);
        if (data.size() != static_cast<std::uint64_t>(st.st_size) || data.size() > 0x7FFFFFF0u) {
            std::fprintf(stderr, "qmpack: %s: cannot be read whole or is too large\n", path.c_str());
            return 1;
        }
        qmpack::EntrySpec entry = MakeEntry(o, path, data, rng);
        if (entry.name.empty() || entry.name.size() > 255) {
            std::fprintf(stderr, "qmpack: %s: the stored name must have 1 to 255 characters\n",
                         path.c_str());
            return 1;
        }
        entry.dosDateTime = DosDateTime(st.st_mtime);
        entry.attributes = access(path.c_str(), W_OK) == 0 ? 0x20 : 0x21;
        total += 432 + entry.stored.size();
        carrier.entries.push_back(std::move(entry));
        std::printf("%-40s %10zu -> %10zu\n", carrier.entries.back().name.c_str(), data.size(),
                    carrier.entries.back().stored.size());
    }
    if (carrier.prefix.size() + 34 + total > 0x7FFFFFFFu) {
        std::fprintf(stderr, "qmpack: an archive must stay below 2 GiB\n");
        return 1;
    }
    if (!qmpack::WriteFile(o.archive, qmpack::BuildCarrier(carrier))) {
        std::fprintf(stderr, "qmpack: cannot write %s\n", o.archive.c_str());
        return 1;
    }
    return 0;
}
