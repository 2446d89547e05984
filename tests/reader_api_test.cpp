// reader_api_test.cpp - the handle API of quillmark_reader.h: a table of
// carriers (plain, each cipher, enciphered headers, audio, damaged, cut,
// hostile names, the shared corpus) read through every form of open, the
// password questions, cancelling, and several archives read at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "audio_inputs.h"
#include "crypto/cipher.h"
#include "crypto/des.h"
#include "encoder_inputs.h"
#include "packer/carrier_writer.h"
#include "packer/encoder.h"
#include "extract_test_support.h"
#include "quillmark.h"
#include "quillmark_reader.h"
#include "support/temp_dir.h"

namespace {

using qmpack::Bytes;

constexpr std::uint8_t kChaining[8] = {0x13, 0x57, 0x9B, 0xDF, 0x02, 0x46, 0x8A, 0xCE};

// The bytes an entry of `method` stores for `stream` under the password: the
// packer's layout, enciphered with the library's own DES (the ciphers have
// tests of their own against an outside implementation).
Bytes Encipher(Bytes stream, std::int32_t method, const std::string &password)
{
    std::uint8_t key[16];
    qm::PasswordDigest(password.c_str(), key);
    qm::DesSchedule k1{}, k2{};
    qm::BuildDesSchedule(key, qm::DesDirection::Encrypt, k1);
    qm::BuildDesSchedule(key + 8, qm::DesDirection::Decrypt, k2);
    if (method == 0 || method == 1)
        stream.resize((stream.size() + 7) / 8 * 8, 0);
    if (method == 0) {
        qm::DesBlocks(stream.data(), stream.size() / 8, k1);
        return stream;
    }
    Bytes out(kChaining, kChaining + 8);
    if (method == 2) {
        out.insert(out.end(), stream.begin(), stream.end());
        return out;
    }
    std::uint8_t chain[8];
    std::memcpy(chain, kChaining, 8);
    for (std::size_t i = 0; i < stream.size(); i += 8) {
        std::uint8_t block[8];
        for (int j = 0; j < 8; ++j)
            block[j] = stream[i + j] ^ chain[j];
        qm::DesBlock(block, k1);
        qm::DesBlock(block, k2);
        qm::DesBlock(block, k1);
        std::memcpy(chain, block, 8);
        out.insert(out.end(), block, block + 8);
    }
    return out;
}

// What reading an entry must give: its bytes, then the final code.
struct Expected {
    std::string name;  // UTF-8, slashes
    Bytes data;
    int end = 0;       // the code after the last byte: 0 or an error
};

// An entry of `plain` as stored bytes, compressed when `compress`, then
// enciphered with `method`.
qmpack::EntrySpec Entry(const std::string &stored, const Bytes &plain, bool compress,
                        std::int32_t method = -1, const std::string &password = "",
                        const qmpack::EncoderOptions &options = {})
{
    Bytes packed = compress ? qmpack::Encode(plain, options) : plain;
    qmpack::EntrySpec e = qmpack::StoredEntry(stored, plain);
    e.stored = method == -1 ? packed : Encipher(packed, method, password);
    e.cipherMethod = method;
    e.dataCrc = qmpack::Crc32(plain);
    e.unpackedSize = static_cast<std::int32_t>(plain.size());
    // A compressed entry is one whose packed size (the chaining value
    // included) is below its size.
    EXPECT_EQ(compress, e.stored.size() < plain.size()) << stored;
    return e;
}

struct Carrier {
    const char *what;
    Bytes bytes;
    qm_options options;
    int open = 0;                   // what qm_open_* gives
    std::vector<Expected> entries;  // read in order
    int walkEnd = 1;                // what qm_next_entry gives after the last
};

std::function<void(std::uint8_t *)> HeaderCipher(const std::string &password)
{
    return [password](std::uint8_t *block) {
        std::uint8_t key[16];
        qm::PasswordDigest(password.c_str(), key);
        qm::DesSchedule k{};
        qm::BuildDesSchedule(key, qm::DesDirection::Encrypt, k);
        qm::DesBlocks(block, 432 / 8, k);
    };
}

qm_options Passwords(const char *data, const char *header = nullptr)
{
    return qm_options{sizeof(qm_options), data, header, nullptr, nullptr, 0};
}

std::vector<Carrier> Carriers()
{
    std::vector<Carrier> all;
    const Bytes text = qmtest::TextBytes(300000, 1);
    const Bytes mixed = qmtest::MixedBytes(1500000, 2);  // more than one window
    const Bytes sound = qmtest::PcmBytes(40000, 2, 2, 3);
    const Bytes small = qmtest::RandomBytes(1000, 4);

    {
        qmpack::CarrierSpec layout;
        layout.prefix = qmtest::RandomBytes(3000, 5);
        layout.entries = {Entry("docs\\readme.txt", text, true), Entry("raw.bin", small, false),
                        Entry("big\\mixed.bin", mixed, true), Entry("empty", {}, false)};
        all.push_back({"plain", qmpack::BuildCarrier(layout), Passwords(nullptr), 0,
                       {{"docs/readme.txt", text}, {"raw.bin", small}, {"big/mixed.bin", mixed}, {"empty", {}}}});
    }
    {
        qmpack::CarrierSpec layout;
        layout.entries = {Entry("sound.wav", sound, true, -1, "",
                              qmtest::AudioOptions(qmpack::AudioMode::Always)),
                        Entry("mixed.wav", qmtest::MixedSoundFile(30000, 6), true, -1, "",
                              qmtest::AudioOptions(qmpack::AudioMode::Auto))};
        all.push_back({"audio", qmpack::BuildCarrier(layout), Passwords(nullptr), 0,
                       {{"sound.wav", sound}, {"mixed.wav", qmtest::MixedSoundFile(30000, 6)}}});
    }
    {
        // Each cipher, stored and compressed.
        qmpack::CarrierSpec layout;
        std::vector<Expected> expected;
        for (const std::int32_t method : {0, 1, 2}) {
            for (const bool compress : {false, true}) {
                // Appended piece by piece: gcc 12 at -O2 warns falsely (-Wrestrict) on
                // "m" + std::to_string(...).
                std::string name = "m";
                name += std::to_string(method);
                name += compress ? "packed" : "stored";
                const Bytes &plain = compress ? text : small;
                layout.entries.push_back(Entry(name, plain, compress, method, "s\xE9same"));
                expected.push_back({name, plain});
            }
        }
        all.push_back({"ciphers", qmpack::BuildCarrier(layout), Passwords("s\xC3\xA9same"), 0, expected});
        // The wrong password: every entry's bytes come out, then the verdict.
        // Method 2 has no key, so it reads as it is.
        Carrier wrong{"ciphers, wrong password", qmpack::BuildCarrier(layout), Passwords("sesame"), 0, {}};
        for (const Expected &e : expected) {
            const bool keyed = e.name[1] != '2';
            wrong.entries.push_back({e.name, keyed ? Bytes{} : e.data, keyed ? QM_E_BAD_PASSWORD : 0});
        }
        all.push_back(wrong);
        Carrier none{"ciphers, no password", qmpack::BuildCarrier(layout), Passwords(nullptr), 0, {}};
        for (const Expected &e : expected) {
            const bool keyed = e.name[1] != '2';
            none.entries.push_back({e.name, keyed ? Bytes{} : e.data, keyed ? QM_E_NEED_PASSWORD : 0});
        }
        all.push_back(none);
    }
    {
        qmpack::CarrierSpec layout;
        layout.flags = 1;
        layout.encipherHeader = HeaderCipher("hidden");
        const Bytes shortText = qmtest::TextBytes(5000, 8);
        layout.entries = {Entry("a.txt", text, true), Entry("b.txt", shortText, true, 1, "data")};
        const Bytes carrier = qmpack::BuildCarrier(layout);
        all.push_back({"enciphered headers", carrier, Passwords("data", "hidden"), 0,
                       {{"a.txt", text}, {"b.txt", shortText}}});
        all.push_back({"enciphered headers, wrong password", carrier, Passwords("data", "other"),
                       QM_E_BAD_PASSWORD, {}});
        all.push_back({"enciphered headers, no password", carrier, Passwords(nullptr), QM_E_NEED_PASSWORD, {}});
    }
    {
        // A wrong data CRC: the bytes come out all the same (salvage).
        qmpack::CarrierSpec layout;
        layout.entries = {Entry("bad.txt", text, true), Entry("next.bin", small, false)};
        layout.entries[0].dataCrc ^= 1;
        all.push_back({"wrong data CRC", qmpack::BuildCarrier(layout), Passwords(nullptr), 0,
                       {{"bad.txt", text, QM_E_CRC}, {"next.bin", small}}});
    }
    {
        // A damaged second header block ends the walk.
        qmpack::CarrierSpec layout;
        layout.entries = {Entry("one.bin", small, false), Entry("two.bin", small, false)};
        layout.entries[1].headerCrc = 1234;
        all.push_back({"damaged header block", qmpack::BuildCarrier(layout), Passwords(nullptr), 0,
                       {{"one.bin", small}}, QM_E_DAMAGED});
    }
    {
        // A carrier cut inside a compressed entry's data: its bytes up to the
        // cut, then damage (the stream ends early).
        qmpack::CarrierSpec layout;
        layout.entries = {Entry("cut.bin", mixed, true)};
        Bytes carrier = qmpack::BuildCarrier(layout);
        carrier.resize(carrier.size() / 2);
        all.push_back({"cut in the data", carrier, Passwords(nullptr), 0, {{"cut.bin", mixed, QM_E_DAMAGED}}});
        Bytes cutBlock = qmpack::BuildCarrier(layout);
        cutBlock.resize(34 + 200);
        all.push_back({"cut in a header block", cutBlock, Passwords(nullptr), QM_E_NOT_ARCHIVE, {}});
    }
    {
        // Hostile names are only names here: they come out as stored, with
        // slashes, and their data reads as any other.
        qmpack::CarrierSpec layout;
        layout.entries = {Entry("..\\..\\etc\\passwd", small, false), Entry("C:\\x\\y", small, false),
                        Entry("\\\\srv\\share\\z", small, false), Entry("caf\x82.txt", small, false)};
        all.push_back({"hostile names", qmpack::BuildCarrier(layout), Passwords(nullptr), 0,
                       {{"../../etc/passwd", small},
                        {"C:/x/y", small},
                        {"//srv/share/z", small},
                        {"caf\xC3\xA9.txt", small}}});
    }
    all.push_back({"not an archive", qmtest::RandomBytes(5000, 7), Passwords(nullptr), QM_E_NOT_ARCHIVE, {}});
    all.push_back({"empty", {}, Passwords(nullptr), QM_E_NOT_ARCHIVE, {}});
    return all;
}

enum class OpenForm { kMemory, kFile, kSource };

struct SourceBytes {
    const Bytes *bytes;
};

int64_t QM_READER_CALL ReadAt(void *user, uint64_t offset, void *buf, size_t size)
{
    const Bytes &b = *static_cast<SourceBytes *>(user)->bytes;
    if (offset >= b.size())
        return 0;
    const std::size_t n = std::min<std::size_t>(size, b.size() - static_cast<std::size_t>(offset));
    std::memcpy(buf, b.data() + offset, n);
    return static_cast<int64_t>(n);
}

int Open(OpenForm form, const Bytes &bytes, const qm_options *options, const qmtest::TempDir &dir,
         SourceBytes &source, qm_archive **a)
{
    switch (form) {
    case OpenForm::kMemory:
        return qm_open_memory(bytes.data(), bytes.size(), options, a);
    case OpenForm::kFile:
        return qm_open_file(dir.Write("carrier.qm", bytes).c_str(), options, a);
    default: {
        source.bytes = &bytes;
        const qm_source src{sizeof(qm_source), ReadAt, bytes.size(), &source};
        return qm_open_source(&src, options, a);
    }
    }
}

// Reads the current entry to its end in pieces of `piece` bytes; the code
// that ended it goes to *end.
Bytes ReadEntry(qm_archive *a, std::size_t piece, int *end)
{
    Bytes out;
    std::vector<std::uint8_t> buffer(piece);
    for (;;) {
        const int64_t n = qm_read_data(a, buffer.data(), buffer.size());
        if (n <= 0) {
            *end = static_cast<int>(n);
            return out;
        }
        out.insert(out.end(), buffer.begin(), buffer.begin() + n);
    }
}

TEST(ReaderApi, EveryCarrierReadsAsExpectedThroughEveryOpen)
{
    const qmtest::TempDir dir;
    for (const Carrier &c : Carriers()) {
        for (const OpenForm form : {OpenForm::kMemory, OpenForm::kFile, OpenForm::kSource}) {
            SCOPED_TRACE(std::string(c.what) + ", open form " + std::to_string(static_cast<int>(form)));
            SourceBytes source{};
            qm_archive *a = nullptr;
            ASSERT_EQ(Open(form, c.bytes, &c.options, dir, source, &a), c.open) << qm_error_message(nullptr);
            if (c.open != 0) {
                EXPECT_EQ(a, nullptr);
                EXPECT_STRNE(qm_error_message(nullptr), "");
                continue;
            }
            for (const Expected &e : c.entries) {
                const qm_entry *entry = nullptr;
                ASSERT_EQ(qm_next_entry(a, &entry), 0) << qm_error_message(a);
                EXPECT_EQ(entry->name, e.name);
                int end = 1;
                // An odd piece size crosses every internal boundary.
                const Bytes data = ReadEntry(a, form == OpenForm::kSource ? 777 : 65536, &end);
                EXPECT_EQ(end, e.end) << qm_error_message(a);
                if (e.end == 0) {
                    EXPECT_EQ(entry->size, e.data.size());
                    EXPECT_TRUE(data == e.data) << e.name;
                } else {
                    // The message names the entry.
                    EXPECT_NE(std::string(qm_error_message(a)).find(e.name), std::string::npos)
                        << qm_error_message(a);
                    EXPECT_EQ(qm_read_data(a, nullptr, 0), e.end) << "the error stays";
                }
                if (!e.data.empty() && e.end != 0) {
                    // Salvaged bytes are the entry's own, as far as they go
                    // (but for the last step before a cut, which may read
                    // past the data: at most one match).
                    ASSERT_LE(data.size(), e.data.size());
                    const std::size_t sure = data.size() > 300 ? data.size() - 300 : 0;
                    EXPECT_TRUE(std::equal(data.begin(), data.begin() + sure, e.data.begin()));
                }
            }
            const qm_entry *entry = nullptr;
            EXPECT_EQ(qm_next_entry(a, &entry), c.walkEnd) << qm_error_message(a);
            EXPECT_EQ(entry, nullptr);
            qm_close(a);
        }
    }
}

TEST(ReaderApi, EntriesDescribeTheirHeaderBlocksAndCount)
{
    // Values of the shared corpus's real carrier (its manifest).
    const Bytes carrier = qmpack::ReadFile(qmtest::CorpusFile("real-lz.qm"));
    qm_archive *a = nullptr;
    ASSERT_EQ(qm_open_memory(carrier.data(), carrier.size(), nullptr, &a), 0);
    EXPECT_EQ(qm_entry_count(a), 2);
    const qm_entry *e = nullptr;
    ASSERT_EQ(qm_next_entry(a, &e), 0);
    EXPECT_STREQ(e->name, "SOUND/BOAT.WAV");
    EXPECT_STREQ(e->raw_name, "SOUND\\BOAT.WAV");
    EXPECT_EQ(e->size, 56464u);
    EXPECT_EQ(e->packed_size, 42551u);
    EXPECT_EQ(e->crc32, 0x82d2ed89u);
    EXPECT_EQ(e->dos_time, 0x546a584au);
    // 0x546A: 2022-03-10; 0x584A: 11:02:20.
    EXPECT_EQ(e->year, 2022);
    EXPECT_EQ(e->month, 3);
    EXPECT_EQ(e->day, 10);
    EXPECT_EQ(e->hour, 11);
    EXPECT_EQ(e->minute, 2);
    EXPECT_EQ(e->second, 20);
    EXPECT_EQ(e->attributes, 0x20u);
    EXPECT_EQ(e->cipher, QM_CIPHER_METHOD_NONE);
    EXPECT_EQ(qm_test_entry(a), 0) << qm_error_message(a);
    // The count walks on its own: the current entry stays.
    EXPECT_EQ(qm_entry_count(a), 2);
    ASSERT_EQ(qm_next_entry(a, &e), 0);
    EXPECT_STREQ(e->name, "LICENSE.txt");
    int end = 1;
    const Bytes license = ReadEntry(a, 10, &end);
    EXPECT_EQ(end, 0);
    EXPECT_EQ(license.size(), 107u);
    EXPECT_EQ(qm_next_entry(a, &e), 1);
    qm_close(a);
}

struct Questions {
    std::vector<std::string> answers;  // given in turn; then 0
    std::vector<std::pair<int, std::string>> asked;
};

int QM_READER_CALL Answer(void *user, int kind, const char *name, char *answer, size_t size)
{
    auto &q = *static_cast<Questions *>(user);
    q.asked.emplace_back(kind, name);
    if (q.asked.size() > q.answers.size())
        return 0;
    const std::string &a = q.answers[q.asked.size() - 1];
    std::snprintf(answer, size, "%s", a.c_str());
    return 1;
}

TEST(ReaderApi, PasswordQuestionsGoToTheCallback)
{
    const Bytes text = qmtest::TextBytes(20000, 9);
    qmpack::CarrierSpec layout;
    layout.flags = 1;
    layout.encipherHeader = HeaderCipher("head");
    layout.entries = {Entry("secret.txt", text, true, 1, "data")};
    const Bytes carrier = qmpack::BuildCarrier(layout);

    // The header password is asked for until it fits; the data password
    // when there is none, and by qm_test_entry again while it is wrong.
    Questions q{{"nope", "head", "wrong", "data"}, {}};
    qm_options options{sizeof options, nullptr, nullptr, Answer, &q, 0};
    qm_archive *a = nullptr;
    ASSERT_EQ(qm_open_memory(carrier.data(), carrier.size(), &options, &a), 0) << qm_error_message(nullptr);
    const qm_entry *e = nullptr;
    ASSERT_EQ(qm_next_entry(a, &e), 0);
    EXPECT_EQ(qm_test_entry(a), 0) << qm_error_message(a);
    ASSERT_EQ(q.asked.size(), 4u);
    EXPECT_EQ(q.asked[0].first, QM_PASSWORD_HEADER);
    EXPECT_EQ(q.asked[1].first, QM_PASSWORD_HEADER);
    EXPECT_EQ(q.asked[2], std::make_pair(int{QM_PASSWORD_DATA}, std::string("secret.txt")));
    EXPECT_EQ(q.asked[3].first, QM_PASSWORD_DATA);
    qm_close(a);

    // A host that gives up: the open fails with a wrong password.
    Questions none{{}, {}};
    qm_options giveUp{sizeof giveUp, nullptr, "nope", Answer, &none, 0};
    EXPECT_EQ(qm_open_memory(carrier.data(), carrier.size(), &giveUp, &a), QM_E_BAD_PASSWORD);
    EXPECT_EQ(none.asked.size(), 1u);
}

TEST(ReaderApi, BadArgumentsAndCallsOutOfOrder)
{
    const Bytes carrier = qmpack::ReadFile(qmtest::CorpusFile("real-lz.qm"));
    qm_archive *a = nullptr;
    EXPECT_EQ(qm_open_memory(carrier.data(), carrier.size(), nullptr, nullptr), QM_E_ARGUMENT);
    EXPECT_EQ(qm_open_file(nullptr, nullptr, &a), QM_E_ARGUMENT);
    EXPECT_EQ(qm_open_source(nullptr, nullptr, &a), QM_E_ARGUMENT);
    const qm_options tooSmall{4, nullptr, nullptr, nullptr, nullptr, 0};
    EXPECT_EQ(qm_open_memory(carrier.data(), carrier.size(), &tooSmall, &a), QM_E_ARGUMENT);
    const qm_options notCp1252{sizeof(qm_options), "\xE2\x82\xAC\xE4\xB8\xAD", nullptr, nullptr, nullptr, 0};
    EXPECT_EQ(qm_open_memory(carrier.data(), carrier.size(), &notCp1252, &a), QM_E_ARGUMENT);

    const qmtest::TempDir dir;
    EXPECT_EQ(qm_open_file(dir.File("missing.qm").c_str(), nullptr, &a), QM_E_IO);
    EXPECT_NE(qm_system_error(nullptr), 0);
    EXPECT_EQ(qm_open_file(dir.path().string().c_str(), nullptr, &a), QM_E_IO) << "a folder is no archive file";

    ASSERT_EQ(qm_open_memory(carrier.data(), carrier.size(), nullptr, &a), 0);
    char buffer[16];
    EXPECT_EQ(qm_read_data(a, buffer, sizeof buffer), QM_E_NO_ENTRY);
    EXPECT_EQ(qm_read_data(a, nullptr, 1), QM_E_ARGUMENT);
    EXPECT_EQ(qm_test_entry(a), QM_E_NO_ENTRY);
    const qm_entry *e = nullptr;
    ASSERT_EQ(qm_next_entry(a, &e), 0);
    EXPECT_EQ(qm_skip_entry(a), 0);
    EXPECT_EQ(qm_read_data(a, buffer, sizeof buffer), 0) << "a skipped entry has nothing left";
    qm_cancel(a);
    ASSERT_EQ(qm_next_entry(a, &e), 0) << "the next entry starts uncancelled";
    EXPECT_EQ(qm_read_data(a, buffer, 0), QM_E_ARGUMENT) << "0 would read as the end";
    EXPECT_GT(qm_read_data(a, buffer, sizeof buffer), 0);
    qm_cancel(a);
    EXPECT_EQ(qm_read_data(a, buffer, sizeof buffer), QM_E_CANCELLED);
    EXPECT_EQ(qm_next_entry(a, &e), 1);
    qm_close(a);
    qm_close(nullptr);
}

TEST(ReaderApi, ACancelFromAnotherThreadStopsALongRead)
{
    const Bytes big = qmtest::MixedBytes(4 << 20, 10);
    qmpack::CarrierSpec layout;
    layout.entries = {Entry("big.bin", big, true)};
    const Bytes carrier = qmpack::BuildCarrier(layout);
    qm_archive *a = nullptr;
    ASSERT_EQ(qm_open_memory(carrier.data(), carrier.size(), nullptr, &a), 0);
    const qm_entry *e = nullptr;
    ASSERT_EQ(qm_next_entry(a, &e), 0);
    // The reader waits after its first piece until the other thread has
    // cancelled, so the cancel always lands inside the read.
    std::atomic<bool> started{false};
    std::atomic<bool> cancelled{false};
    std::thread canceller([&] {
        while (!started.load())
            std::this_thread::yield();
        qm_cancel(a);
        cancelled.store(true);
    });
    std::vector<std::uint8_t> buffer(4096);
    int64_t n;
    std::size_t total = 0;
    while ((n = qm_read_data(a, buffer.data(), buffer.size())) > 0) {
        total += static_cast<std::size_t>(n);
        started.store(true);
        while (!cancelled.load())
            std::this_thread::yield();
    }
    canceller.join();
    EXPECT_EQ(n, QM_E_CANCELLED);
    EXPECT_LT(total, big.size());
    qm_close(a);
}

TEST(ReaderApi, SeveralArchivesReadAtOnceGiveTheirOwnBytes)
{
    // Each thread reads its own archive (LZ, audio, enciphered) several times
    // over while the others do the same; every byte must be its own.
    struct Job {
        Bytes carrier;
        Bytes plain;
        const char *password;
    };
    std::vector<Job> jobs;
    for (int k = 0; k < 4; ++k) {
        const Bytes plain = k == 1 ? qmtest::PcmBytes(200000, 2, 2, 20) : qmtest::MixedBytes(1200000, 20 + k);
        qmpack::CarrierSpec layout;
        const std::int32_t method = k == 2 ? 1 : -1;
        layout.entries = {Entry("e", plain, true, method, "pw",
                              k == 1 ? qmtest::AudioOptions(qmpack::AudioMode::Always) : qmpack::EncoderOptions{})};
        jobs.push_back({qmpack::BuildCarrier(layout), plain, method == 1 ? "pw" : nullptr});
    }
    std::vector<int> failures(jobs.size(), 0);
    std::vector<std::thread> threads;
    for (std::size_t k = 0; k < jobs.size(); ++k) {
        threads.emplace_back([&, k] {
            const Job &job = jobs[k];
            const qm_options options = Passwords(job.password);
            for (int round = 0; round < 3; ++round) {
                qm_archive *a = nullptr;
                const qm_entry *e = nullptr;
                int end = 1;
                if (qm_open_memory(job.carrier.data(), job.carrier.size(), &options, &a) != 0 ||
                    qm_next_entry(a, &e) != 0 || ReadEntry(a, 65536, &end) != job.plain || end != 0)
                    ++failures[k];
                qm_close(a);
            }
        });
    }
    // Beside them, the exports extract an archive of their own in one more
    // thread: neither side sees the other's state.
    const qmtest::TempDir dir;
    const Bytes legacyPlain = qmtest::MixedBytes(900000, 40);
    qmpack::CarrierSpec legacySpec;
    legacySpec.entries = {Entry("LEGACY.BIN", legacyPlain, true)};
    const std::string legacyCarrier = dir.Write("legacy.qm", qmpack::BuildCarrier(legacySpec));
    int legacyFailures = 0;
    threads.emplace_back([&] {
        for (int round = 0; round < 3; ++round) {
            ArcOpenParams params;
            std::memset(&params, 0, sizeof params);
            std::strcpy(params.dataPassword, "-");
            InitHidFile(legacyCarrier.c_str(), &params);
            SetOutputPath(qmtest::LibPath(dir.path()).c_str());
            FileMaskList all;
            InitFileMaskList(&all);
            ExtractFileMaskListArc(&all);
            DoneFileMaskList(&all);
            if (GetArchiveStatus() != 0 || qmpack::ReadFile(dir.File("LEGACY.BIN")) != legacyPlain)
                ++legacyFailures;
            SetOutputPath("");
            DoneArcFile(0);
        }
    });
    for (auto &t : threads)
        t.join();
    for (std::size_t k = 0; k < jobs.size(); ++k)
        EXPECT_EQ(failures[k], 0) << "archive " << k;
    EXPECT_EQ(legacyFailures, 0);
}

}  // namespace

namespace {

namespace fs = std::filesystem;

// Every file below root, as paths relative to it (generic form).
std::vector<std::string> FilesBelow(const fs::path &root)
{
    std::vector<std::string> files;
    for (const auto &item : fs::recursive_directory_iterator(root))
        if (!item.is_directory())
            files.push_back(fs::relative(item.path(), root).generic_string());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(ReaderApi, ExtractWritesEachEntryInsideTheFolderOnlyWhenItChecksOut)
{
    const Bytes text = qmtest::TextBytes(50000, 30);
    const Bytes small = qmtest::RandomBytes(700, 31);
    qmpack::CarrierSpec layout;
    layout.entries = {Entry("docs\\readme.txt", text, true), Entry("..\\..\\up.bin", small, false),
                    Entry("C:\\abs\\x.bin", small, false), Entry("bad.txt", text, true),
                    Entry("..", small, false), Entry("keep.txt", small, false, 1, "pw")};
    layout.entries[3].dataCrc ^= 1;
    const Bytes carrier = qmpack::BuildCarrier(layout);

    const qmtest::TempDir root;
    const fs::path out = root.path() / "out";
    fs::create_directories(out);
    // What stands at a final name survives a failed entry.
    qmpack::WriteFile((out / "bad.txt").string(), {'o', 'l', 'd'});

    struct Case {
        int code;
        const char *file;  // where the entry's bytes land, or null
    };
    const Case cases[] = {
        {0, "docs/readme.txt"}, {0, "up.bin"}, {0, "abs/x.bin"},
        {QM_E_CRC, nullptr},    {QM_E_UNSAFE_NAME, nullptr}, {QM_E_BAD_PASSWORD, nullptr},
    };
    const qm_options wrong = Passwords("not it");
    qm_archive *a = nullptr;
    ASSERT_EQ(qm_open_memory(carrier.data(), carrier.size(), &wrong, &a), 0);
    for (const Case &c : cases) {
        const qm_entry *e = nullptr;
        ASSERT_EQ(qm_next_entry(a, &e), 0);
        SCOPED_TRACE(e->name);
        EXPECT_EQ(qm_extract_entry(a, out.string().c_str(), 0), c.code) << qm_error_message(a);
        if (c.file) {
            const Bytes &want = std::string(e->name) == "docs/readme.txt" ? text : small;
            EXPECT_TRUE(qmpack::ReadFile((out / c.file).string()) == want);
        }
    }
    qm_close(a);
    EXPECT_EQ(FilesBelow(root.path()),
              (std::vector<std::string>{"out/abs/x.bin", "out/bad.txt", "out/docs/readme.txt", "out/up.bin"}))
        << "nothing outside the folder, no temporary file left";
    EXPECT_TRUE(qmpack::ReadFile((out / "bad.txt").string()) == (Bytes{'o', 'l', 'd'}));
}

TEST(ReaderApi, ExtractNeverReplacesTheArchiveItNorWritesThroughALink)
{
    const Bytes small = qmtest::RandomBytes(700, 32);
    qmpack::CarrierSpec layout;
    layout.entries = {Entry("archive.qm", small, false), Entry("link\\x.bin", small, false)};
    const Bytes carrier = qmpack::BuildCarrier(layout);
    const qmtest::TempDir root;
    const fs::path out = root.path() / "out";
    fs::create_directories(out);
    fs::create_directories(root.path() / "elsewhere");
    const std::string carrierPath = (out / "archive.qm").string();
    qmpack::WriteFile(carrierPath, carrier);
    bool linked = true;
    std::error_code ec;
    fs::create_directory_symlink(root.path() / "elsewhere", out / "link", ec);
    if (ec)
        linked = false;  // no links to be had here (Wine)

    qm_archive *a = nullptr;
    ASSERT_EQ(qm_open_file(carrierPath.c_str(), nullptr, &a), 0);
    const qm_entry *e = nullptr;
    ASSERT_EQ(qm_next_entry(a, &e), 0);
    EXPECT_EQ(qm_extract_entry(a, out.string().c_str(), 0), QM_E_OUTPUT);
    EXPECT_TRUE(qmpack::ReadFile(carrierPath) == carrier);
    ASSERT_EQ(qm_next_entry(a, &e), 0);
    if (linked) {
        EXPECT_EQ(qm_extract_entry(a, out.string().c_str(), 0), QM_E_OUTPUT);
        EXPECT_TRUE(fs::is_empty(root.path() / "elsewhere"));
    }
    qm_close(a);
}

}  // namespace
