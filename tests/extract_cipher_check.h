// extract_cipher_check.h - extracts the enciphered fixture carriers (written
// with OpenSSL by the packer's fixture maker) through the exports and checks
// every file against its plain data.  Shared by the portable suite, which
// reads the fixtures the build wrote (the Windows run), and the native suite,
// which writes its own.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "extract_test_support.h"
#include "packer/carrier_writer.h"
#include "quillmark.h"

namespace qmtest {

struct CipherFixtureEntry {
    std::string carrier, name, dataPassword, wrongPassword, headerPassword, plainFile;
    std::int32_t method = -1;
    bool headersEnciphered = false;
    std::size_t dataOffset = 0, packed = 0;
};

inline std::vector<CipherFixtureEntry> ReadCipherFixtureManifest(const std::string &dir)
{
    std::vector<CipherFixtureEntry> rows;
    std::ifstream in(dir + "/manifest.tsv", std::ios::binary);
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::string field;
        std::istringstream fields(line);
        while (std::getline(fields, field, '\t'))
            f.push_back(field);
        if (f.size() != 14)
            continue;
        CipherFixtureEntry e;
        e.carrier = f[0];
        e.name = f[2];
        e.method = std::stoi(f[3]);
        e.dataPassword = f[4];
        e.wrongPassword = f[5];
        e.headerPassword = f[6];
        e.headersEnciphered = f[7] == "1";
        e.dataOffset = std::stoul(f[9]);
        e.packed = std::stoul(f[10]);
        e.plainFile = f[13];
        rows.push_back(e);
    }
    return rows;
}

// What a host of the enciphered fixtures sees.
struct CipherHost {
    std::string answer;  // the password it gives when asked
    std::int32_t result = 1;
    std::vector<std::string> events;
};
inline CipherHost g_cipherHost;

inline std::int32_t QM_CALL CipherHostKey(QmUserValue, char *buffer, const char *name, std::int32_t kind)
{
    g_cipherHost.events.push_back("key " + std::to_string(kind) + " " + name);
    std::strncpy(buffer, g_cipherHost.answer.c_str(), 249);
    return g_cipherHost.result;
}

inline std::int32_t QM_CALL CipherHostName(QmUserValue, const char *name, char *)
{
    g_cipherHost.events.push_back(std::string("name ") + name);
    return 0;
}

// Opens a carrier with the given data password (and the fixture's header
// settings), extracts every entry into out with stored directories kept, and
// returns the status.
inline std::uint16_t ExtractCipherCarrier(const std::string &carrier, const CipherFixtureEntry &first,
                                          const std::string &dataPassword, const std::filesystem::path &out)
{
    ArcOpenParams params;
    std::memset(&params, 0, sizeof params);
    params.headersEnciphered = first.headersEnciphered ? 1 : 0;
    std::strncpy(params.dataPassword, dataPassword.c_str(), 255);
    std::strncpy(params.headerPassword, first.headerPassword.c_str(), 255);
    InitHidFile(LibPath(carrier).c_str(), &params);
    if (GetArchiveStatus() != 0)
        return GetArchiveStatus();
    SetOutputPath(LibPath(out).c_str());
    arOptionsOn(QM_OPTION_KEEP_DIRECTORIES);
    SetSetCryptKeyProc(0, CipherHostKey);
    SetSetFileNameProc(0, CipherHostName);
    FileMaskList masks;
    InitFileMaskList(&masks);
    ExtractFileMaskListArc(&masks);
    const std::uint16_t status = GetArchiveStatus();
    DoneFileMaskList(&masks);
    DoneArcFile(0);
    arOptionsOff(QM_OPTION_KEEP_DIRECTORIES);
    SetOutputPath("");
    return status;
}

inline std::filesystem::path EntryPath(const std::filesystem::path &out, const std::string &storedName)
{
    std::string name = storedName;
    for (char &c : name)
        if (c == '\\')
            c = '/';
    return out / std::filesystem::path(name);
}

// Every carrier of the fixture directory: with the right password every
// entry extracts to its plain data without a question; opened with a wrong
// password, the first entry enciphered with a real cipher fails its CRC, the
// host is asked once for it, and the same entry is extracted again with the
// right one.  Only the carriers whose header blocks are (or are not)
// enciphered, as asked.  Returns the number of entries checked.
inline int CheckCipherFixtureExtraction(const std::string &dir, const std::filesystem::path &work,
                                        bool headersEnciphered)
{
    std::map<std::string, std::vector<CipherFixtureEntry>> carriers;
    for (const CipherFixtureEntry &e : ReadCipherFixtureManifest(dir))
        if (e.headersEnciphered == headersEnciphered)
            carriers[e.carrier].push_back(e);
    EXPECT_FALSE(carriers.empty()) << "no fixtures in " << dir;

    int checked = 0;
    for (const auto &[carrierName, entries] : carriers) {
        SCOPED_TRACE(carrierName);
        const std::string carrier = dir + "/" + carrierName;
        const CipherFixtureEntry &first = entries.front();

        for (const bool wrongFirst : {false, true}) {
            SCOPED_TRACE(wrongFirst ? "wrong password at open" : "right password at open");
            const std::filesystem::path out = work / (carrierName + (wrongFirst ? ".wrong" : ".right"));
            std::filesystem::create_directories(out);
            g_cipherHost = CipherHost{first.dataPassword, 1, {}};
            EXPECT_EQ(ExtractCipherCarrier(carrier, first, wrongFirst ? first.wrongPassword : first.dataPassword, out),
                      0);

            std::vector<std::string> expected;
            bool asked = !wrongFirst;
            for (const CipherFixtureEntry &e : entries) {
                const qmpack::Bytes plain = qmpack::ReadFile(dir + "/" + e.plainFile);
                EXPECT_TRUE(qmpack::ReadFile(EntryPath(out, e.name).string()) == plain) << e.name;
                expected.push_back("name \\" + e.name);
                // Only a real cipher turns a wrong password into a CRC
                // mismatch, and an empty entry matches whatever the key.
                if (!asked && (e.method == 0 || e.method == 1) && !plain.empty()) {
                    expected.push_back("key 0 " + e.name);
                    expected.push_back("name \\" + e.name);
                    asked = true;
                }
                checked += wrongFirst ? 0 : 1;
            }
            EXPECT_EQ(g_cipherHost.events, expected);
        }

        // A damaged byte in an enciphered entry: asked, and answer 0 ends the
        // run with 9961 and no file for it.
        for (const CipherFixtureEntry &e : entries) {
            if ((e.method != 0 && e.method != 1) || e.packed <= 16)
                continue;
            SCOPED_TRACE("damaged " + e.name);
            qmpack::Bytes bytes = qmpack::ReadFile(carrier);
            bytes[e.dataOffset + e.packed / 2] ^= 0x10;
            const std::string damaged = (work / ("damaged-" + carrierName)).string();
            qmpack::WriteFile(damaged, bytes);
            const std::filesystem::path out = work / ("damaged-" + carrierName + ".out");
            std::filesystem::create_directories(out);
            g_cipherHost = CipherHost{"", 0, {}};
            EXPECT_EQ(ExtractCipherCarrier(damaged, first, first.dataPassword, out), QM_STATUS_BAD_PASSWORD);
            EXPECT_FALSE(std::filesystem::exists(EntryPath(out, e.name)));
            EXPECT_TRUE(!g_cipherHost.events.empty() && g_cipherHost.events.back() == "key 0 " + e.name);
            break;
        }
    }
    return checked;
}

}  // namespace qmtest
