// cipher_fixtures.cpp - writes the enciphered fixture carriers and their manifest.
#include "packer_crypto/cipher_fixtures.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "packer_crypto/packer_crypto.h"

namespace qmpack {

namespace {

constexpr const char *kDataPassword = "Quill data pw";
constexpr const char *kWrongPassword = "not the password";
constexpr const char *kHeaderPassword = "Quill header pw";

struct FixtureEntry {
    const char *name;
    std::int32_t method;
    std::size_t size;
};

struct Fixture {
    const char *carrier;
    bool headersEnciphered;
    std::vector<FixtureEntry> entries;
};

// Reproducible data: a small linear congruential generator.
Bytes Data(std::size_t size, std::uint32_t seed)
{
    Bytes b(size);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto &v : b) {
        x = x * 1103515245u + 12345u;
        v = static_cast<std::uint8_t>(x >> 16);
    }
    return b;
}

ChainingBlock Chaining(std::uint32_t seed)
{
    ChainingBlock c{};
    const Bytes d = Data(8, seed + 1000);
    std::copy(d.begin(), d.end(), c.begin());
    return c;
}

std::string Hex8(std::uint32_t v)
{
    char buf[9];
    std::snprintf(buf, sizeof buf, "%08x", v);
    return buf;
}

}  // namespace

bool WriteCipherFixtures(const std::string &directory)
{
    const std::vector<Fixture> fixtures = {
        {"cipher-m0.qm", false, {{"M0\\ODD.BIN", 0, 1003}, {"M0\\EVEN.BIN", 0, 4096}}},
        {"cipher-m1.qm", false,
         {{"M1\\SMALL.BIN", 1, 100}, {"M1\\EMPTY.BIN", 1, 0}, {"M1\\LARGE.BIN", 1, 70001}}},
        {"cipher-m2.qm", false, {{"M2\\DATA.BIN", 2, 777}}},
        {"cipher-headers.qm", true,
         {{"HDR\\PLAIN.BIN", -1, 200}, {"HDR\\TRIPLE.BIN", 1, 5000}, {"HDR\\SINGLE.BIN", 0, 333}}},
        {"cipher-headers-plain.qm", true, {{"HP\\FIRST.TXT", -1, 1500}, {"HP\\EMPTY.TXT", -1, 0}}},
    };

    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    std::ofstream manifest(directory + "/manifest.tsv", std::ios::binary | std::ios::trunc);
    if (!manifest)
        return false;
    manifest << kManifestColumns << '\n';

    std::uint32_t seed = 1;
    for (const Fixture &f : fixtures) {
        CarrierSpec layout;
        if (f.headersEnciphered) {
            layout.flags = 1;
            layout.encipherHeader = HeaderEncipherer(kHeaderPassword);
        }
        std::size_t offset = kSignatureRecordSize;
        for (std::size_t i = 0; i < f.entries.size(); ++i, ++seed) {
            const FixtureEntry &fe = f.entries[i];
            const Bytes plain = Data(fe.size, seed);
            EntrySpec e = EncipheredEntry(fe.name, plain, fe.method, kDataPassword, Chaining(seed));
            const std::string plainFile = std::string(f.carrier) + "." + std::to_string(i) + ".plain";
            if (!WriteFile(directory + "/" + plainFile, plain))
                return false;
            manifest << f.carrier << '\t' << i << '\t' << fe.name << '\t' << fe.method << '\t'
                     << kDataPassword << '\t' << kWrongPassword << '\t'
                     << (f.headersEnciphered ? kHeaderPassword : "") << '\t'
                     << (f.headersEnciphered ? 1 : 0) << '\t' << offset << '\t'
                     << offset + kHeaderBlockSize << '\t' << e.stored.size() << '\t' << fe.size
                     << '\t' << Hex8(e.dataCrc) << '\t' << plainFile << '\n';
            offset += kHeaderBlockSize + e.stored.size();
            layout.entries.push_back(std::move(e));
        }
        if (!WriteFile(directory + "/" + f.carrier, BuildCarrier(layout)))
            return false;
    }
    manifest.flush();
    return static_cast<bool>(manifest);
}

}  // namespace qmpack
