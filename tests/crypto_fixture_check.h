// crypto_fixture_check.h - deciphers the enciphered fixture carriers (written
// by qm_make_fixtures with OpenSSL) with the library's own cipher code and
// compares every entry with its plain data.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "crypto/cipher.h"
#include "crypto/crc32.h"
#include "packer/carrier_writer.h"

namespace qmtest {

inline std::vector<std::string> SplitTabs(const std::string &line)
{
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t'))
        fields.push_back(field);
    if (!line.empty() && line.back() == '\t')
        fields.emplace_back();
    return fields;
}

// Deciphers an entry's stored bytes as the data reader does: the chaining
// value first for methods 1 and 2, then chunks of 32512 bytes.
inline qmpack::Bytes DecipherStored(const qmpack::Bytes &stored, std::int32_t method,
                                    const std::string &password)
{
    qm::DataCipher cipher;
    cipher.SelectKey(password.c_str(), method);
    std::size_t at = 0;
    if (method == 1 || method == 2) {
        if (stored.size() < 8)
            return {};
        cipher.SetIv(stored.data());
        at = 8;
    }
    qmpack::Bytes data(stored.begin() + static_cast<std::ptrdiff_t>(at), stored.end());
    data.resize((data.size() + 7) / 8 * 8);
    const std::size_t realSize = stored.size() - at;
    if (method != -1)
        for (std::size_t off = 0; off < realSize; off += 32512) {
            const std::size_t n = std::min<std::size_t>(32512, realSize - off);
            cipher.Decipher(data.data() + off, static_cast<std::int32_t>(n), method);
        }
    data.resize(realSize);
    return data;
}

// Checks every entry of the manifest in `dir`; returns how many it checked.
inline int CheckCipherFixtures(const std::string &dir)
{
    std::ifstream manifest(dir + "/manifest.tsv", std::ios::binary);
    EXPECT_TRUE(manifest.good()) << "no manifest in " << dir;
    std::string line;
    std::getline(manifest, line);  // column names
    int checked = 0;
    while (std::getline(manifest, line)) {
        if (line.empty())
            continue;
        const std::vector<std::string> f = SplitTabs(line);
        EXPECT_EQ(f.size(), 14u) << line;
        if (f.size() != 14)
            continue;
        const std::string carrierName = f[0], name = f[2];
        const std::int32_t method = std::stoi(f[3]);
        const std::string password = f[4], wrongPassword = f[5], headerPassword = f[6];
        const bool headersEnciphered = f[7] == "1";
        const std::size_t blockOffset = std::stoul(f[8]), dataOffset = std::stoul(f[9]);
        const std::size_t packed = std::stoul(f[10]), unpacked = std::stoul(f[11]);
        const std::uint32_t crc = static_cast<std::uint32_t>(std::stoul(f[12], nullptr, 16));
        const qmpack::Bytes plain = qmpack::ReadFile(dir + "/" + f[13]);
        const qmpack::Bytes carrier = qmpack::ReadFile(dir + "/" + carrierName);
        SCOPED_TRACE(carrierName + " " + name);

        EXPECT_EQ(plain.size(), unpacked);
        EXPECT_EQ(qmpack::Crc32(plain), crc);
        if (dataOffset + packed > carrier.size() || blockOffset + qmpack::kHeaderBlockSize > carrier.size()) {
            ADD_FAILURE() << "carrier too short";
            continue;
        }

        // The header block: plain, or single DES under the header password.
        qmpack::Bytes block(carrier.begin() + static_cast<std::ptrdiff_t>(blockOffset),
                            carrier.begin() + static_cast<std::ptrdiff_t>(blockOffset + qmpack::kHeaderBlockSize));
        if (headersEnciphered) {
            qm::DataCipher cipher;
            cipher.SelectKey(headerPassword.c_str(), 0);
            cipher.Decipher(block.data(), static_cast<std::int32_t>(block.size()), 0);
        }
        auto word = [&](std::size_t at) {
            return std::uint32_t{block[at]} | std::uint32_t{block[at + 1]} << 8 |
                   std::uint32_t{block[at + 2]} << 16 | std::uint32_t{block[at + 3]} << 24;
        };
        EXPECT_EQ(~qm::Crc32(0xFFFFFFFFu, block.data() + 8, 424), word(4));
        EXPECT_EQ(word(8), 77u);
        EXPECT_EQ(static_cast<std::int32_t>(word(0)), method);
        EXPECT_EQ(word(348), packed);
        EXPECT_EQ(word(352), unpacked);
        EXPECT_EQ(word(344), crc);

        // The data: right password gives the plain bytes; for the real
        // ciphers a wrong one does not.
        const qmpack::Bytes stored(carrier.begin() + static_cast<std::ptrdiff_t>(dataOffset),
                                   carrier.begin() + static_cast<std::ptrdiff_t>(dataOffset + packed));
        qmpack::Bytes data = DecipherStored(stored, method, password);
        EXPECT_GE(data.size(), unpacked);
        data.resize(std::min(data.size(), unpacked));
        EXPECT_TRUE(data == plain);
        if ((method == 0 || method == 1) && unpacked > 0) {
            qmpack::Bytes wrong = DecipherStored(stored, method, wrongPassword);
            wrong.resize(std::min(wrong.size(), unpacked));
            EXPECT_FALSE(wrong == plain);
        }
        ++checked;
    }
    return checked;
}

}  // namespace qmtest
