// reader_options_test.cpp - the handle API's additions for hosts that look
// before they open: qm_find_signature, and passwords taken as bytes
// (QM_RAW_PASSWORDS) beside the UTF-8 ones of an older, shorter qm_options.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "crypto/cipher.h"
#include "crypto/des.h"
#include "packer/carrier_writer.h"
#include "quillmark_reader.h"

namespace {

using qmpack::Bytes;

Bytes Carrier(std::size_t prefix, std::uint32_t flags = 0, const std::string &headerPassword = "")
{
    qmpack::CarrierSpec layout;
    layout.prefix = Bytes(prefix, 'p');
    layout.flags = flags;
    layout.entries = {qmpack::StoredEntry("A.TXT", Bytes(40, 'a'))};
    if (!headerPassword.empty()) {
        layout.encipherHeader = [headerPassword](std::uint8_t *block) {
            std::uint8_t key[16];
            qm::PasswordDigest(headerPassword.c_str(), key);
            qm::DesSchedule k{};
            qm::BuildDesSchedule(key, qm::DesDirection::Encrypt, k);
            qm::DesBlocks(block, qmpack::kHeaderBlockSize / 8, k);
        };
    }
    return qmpack::BuildCarrier(layout);
}

TEST(ReaderOptions, FindSignatureLooksAtTheFirst81920Bytes)
{
    struct Case {
        const char *what;
        Bytes data;
        std::size_t size;  // of data handed over
        std::int64_t offset;
        int enciphered;
    };
    const Bytes atZero = Carrier(0);
    const Bytes behind = Carrier(5000, 1);
    // The record's flags word must lie inside the window: 81,920 - 25 is the
    // last offset looked at, as the library's open looks.
    const Bytes last = Carrier(81920 - 25);
    const Bytes beyond = Carrier(81920 - 24);
    const Case cases[] = {
        {"at the start", atZero, atZero.size(), 0, 0},
        {"behind other bytes, enciphered headers", behind, behind.size(), 5000, 1},
        {"at the last offset looked at", last, last.size(), 81920 - 25, 0},
        {"one byte further", beyond, beyond.size(), -1, 0},
        {"cut inside the record", atZero, 20, -1, 0},
        {"no bytes", atZero, 0, -1, 0},
    };
    for (const auto &c : cases) {
        int enciphered = 7;
        EXPECT_EQ(qm_find_signature(c.data.data(), c.size, &enciphered), c.offset) << c.what;
        EXPECT_EQ(enciphered, c.enciphered) << c.what;
        EXPECT_EQ(qm_find_signature(c.data.data(), c.size, nullptr), c.offset) << c.what;
    }
    EXPECT_EQ(qm_find_signature(nullptr, 100, nullptr), -1);
}

TEST(ReaderOptions, RawPasswordsAreTheKeysBytes)
{
    // 0x8D has no character in Windows-1252: no UTF-8 password can say it.
    const std::string raw = "h\x8Dx";
    const Bytes carrier = Carrier(0, 1, raw);
    struct Case {
        const char *what;
        qm_options options;
        int code;
    };
    const std::string tooLong(256, 'x');
    qm_options old{};  // a host built before flags: its size ends at user
    old.size = offsetof(qm_options, flags);
    old.header_password = raw.c_str();
    old.flags = QM_RAW_PASSWORDS;  // beyond its size: never read
    const Case cases[] = {
        {"raw", {sizeof(qm_options), nullptr, raw.c_str(), nullptr, nullptr, QM_RAW_PASSWORDS}, 0},
        {"the same bytes as UTF-8", {sizeof(qm_options), nullptr, raw.c_str(), nullptr, nullptr, 0},
         QM_E_ARGUMENT},
        {"an older struct", old, QM_E_ARGUMENT},
        {"raw, wrong", {sizeof(qm_options), nullptr, "h", nullptr, nullptr, QM_RAW_PASSWORDS}, QM_E_BAD_PASSWORD},
        {"raw, too long", {sizeof(qm_options), nullptr, tooLong.c_str(), nullptr, nullptr, QM_RAW_PASSWORDS},
         QM_E_ARGUMENT},
    };
    for (const auto &c : cases) {
        qm_archive *a = nullptr;
        EXPECT_EQ(qm_open_memory(carrier.data(), carrier.size(), &c.options, &a), c.code) << c.what;
        if (c.code == 0) {
            const qm_entry *e = nullptr;
            ASSERT_EQ(qm_next_entry(a, &e), 0);
            EXPECT_STREQ(e->name, "A.TXT");
            EXPECT_EQ(qm_test_entry(a), 0);
        }
        qm_close(a);
    }
}

}  // namespace
