// Archives whose header blocks are enciphered: the open with the header
// password from the parameters or from the host, the walk of a list build
// over enciphered blocks, damaged and hostile blocks, and extraction.
//
// The carriers here are enciphered with the library's own DES run in the
// encryption direction, since the portable suite has no OpenSSL; the DES
// itself is checked against OpenSSL in the native suite, and the packer's
// OpenSSL-made carriers go through header_cipher_fixture_check.h.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <functional>
#include <string>
#include <vector>

#include "container/header_block.h"
#include "container/session.h"
#include "container/statistics.h"
#include "crypto/cipher.h"
#include "crypto/des.h"
#include "extract_test_support.h"
#include "header_password_host.h"
#include "quillmark.h"
#include "state/callbacks.h"
#include "state/path_settings.h"
#include "support/own_session.h"
#include "support/temp_dir.h"

namespace {

using qmpack::Bytes;
using qmpack::CarrierSpec;
using qmpack::EntrySpec;
using qmtest::g_passwordHost;
using qmtest::PasswordAnswer;
using Encipherer = std::function<void(std::uint8_t *block)>;

constexpr const char *kHeaderPassword = "head pw";
constexpr const char *kDataPassword = "data pw";

std::vector<std::uint8_t> Digest(const std::string &password)
{
    std::vector<std::uint8_t> d(16);
    qm::PasswordDigest(password.c_str(), d.data());
    return d;
}

// Single DES, each 8-byte block on its own: how header blocks are enciphered.
Encipherer SingleDes(const std::string &password)
{
    qm::DesSchedule k;
    qm::BuildDesSchedule(Digest(password).data(), qm::DesDirection::Encrypt, k);
    return [k](std::uint8_t *block) { qm::DesBlocks(block, qmpack::kHeaderBlockSize / 8, k); };
}

// Two-key triple DES in CBC mode (chaining value 0): not a header cipher.
Encipherer TripleDes(const std::string &password)
{
    const auto d = Digest(password);
    qm::DesSchedule k1, k2;
    qm::BuildDesSchedule(d.data(), qm::DesDirection::Encrypt, k1);
    qm::BuildDesSchedule(d.data() + 8, qm::DesDirection::Decrypt, k2);
    return [k1, k2](std::uint8_t *block) {
        std::uint8_t chain[8] = {};
        for (std::size_t at = 0; at < qmpack::kHeaderBlockSize; at += 8) {
            std::uint8_t *b = block + at;
            for (int i = 0; i < 8; ++i)
                b[i] ^= chain[i];
            qm::DesBlock(b, k1);
            qm::DesBlock(b, k2);
            qm::DesBlock(b, k1);
            std::memcpy(chain, b, 8);
        }
    };
}

Bytes Data(std::size_t size, std::uint8_t seed)
{
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = static_cast<std::uint8_t>(seed + i * 29 + (i >> 7));
    return b;
}

// An entry whose data is single DES under the data password.
EntrySpec DesEntry(const std::string &name, const Bytes &plain)
{
    EntrySpec e = qmpack::StoredEntry(name, plain);
    e.cipherMethod = 0;
    e.stored.resize((plain.size() + 7) / 8 * 8, 0);
    qm::DesSchedule k;
    qm::BuildDesSchedule(Digest(kDataPassword).data(), qm::DesDirection::Encrypt, k);
    qm::DesBlocks(e.stored.data(), e.stored.size() / 8, k);
    return e;
}

// Three entries: plain data, data under another password and method, plain.
CarrierSpec ThreeEntries(Encipherer headers = SingleDes(kHeaderPassword))
{
    CarrierSpec layout;
    layout.flags = 1;
    layout.encipherHeader = std::move(headers);
    layout.entries.push_back(qmpack::StoredEntry("DOCS\\A.TXT", Data(300, 1)));
    layout.entries.push_back(DesEntry("DOCS\\B.BIN", Data(1001, 2)));
    layout.entries.push_back(qmpack::StoredEntry("C.TXT", Data(77, 3)));
    return layout;
}

// File offset of header block `index` of a carrier built from `layout`.
std::size_t BlockOffset(const CarrierSpec &layout, std::size_t index)
{
    std::size_t at = layout.prefix.size() + qmpack::kSignatureRecordSize + layout.gap.size();
    for (std::size_t i = 0; i < index; ++i)
        at += qmpack::kHeaderBlockSize + layout.entries[i].stored.size();
    return at;
}

std::vector<std::string> Names(const ArcFileList &list)
{
    std::vector<std::string> names;
    for (const ArcFileItem *i = list.first; i; i = i->next)
        names.push_back(i->name);
    return names;
}

class HeaderCipher : public ::testing::Test, public qmtest::OwnSession {
protected:
    void SetUp() override
    {
        g_passwordHost = qmtest::PasswordHost{};
        SetSetHeadCryptKeyProc(77, qmtest::CountHeadQuestion);
        InitArcFileList(&arc_);
        InitHidFileList(&hid_);
    }
    void TearDown() override
    {
        EXPECT_EQ(g_passwordHost.headQuestions, 0) << "SetHeadCryptKeyProc must never be called";
        DoneArcFileList(&arc_);
        DoneHidFileList(&hid_);
        DoneArcFile(0);
    }
    std::string Write(const CarrierSpec &layout, const std::string &name = "carrier.qm")
    {
        return dir_.Write(name, qmpack::BuildCarrier(layout));
    }
    void Ask(std::vector<PasswordAnswer> answers)
    {
        g_passwordHost.answers = std::move(answers);
        g_passwordHost.next = 0;
        g_passwordHost.questions.clear();
        SetSetCryptKeyProc(5, qmtest::AnswerPassword);
    }
    void OpenWith(const std::string &path, const char *headerPassword, const char *dataPassword = "")
    {
        ArcOpenParams params{};
        std::strncpy(params.headerPassword, headerPassword, sizeof params.headerPassword - 1);
        std::strncpy(params.dataPassword, dataPassword, sizeof params.dataPassword - 1);
        InitHidFile(path.c_str(), &params);
    }
    // Extracts every entry with stored directories kept; the status.
    std::uint16_t ExtractAll(const std::filesystem::path &out)
    {
        std::filesystem::create_directories(out);
        SetOutputPath(qmtest::LibPath(out).c_str());
        arOptionsOn(QM_OPTION_KEEP_DIRECTORIES);
        FileMaskList masks;
        InitFileMaskList(&masks);
        ExtractFileMaskListArc(&masks);
        DoneFileMaskList(&masks);
        return GetArchiveStatus();
    }
    qmtest::TempDir dir_;
    ArcFileList arc_{};
    HidFileList hid_{};
};

TEST_F(HeaderCipher, OpenTakesTheHeaderPasswordFromTheParametersOrTheHost)
{
    const std::string kLong(256, 'x');  // an answer that fills the buffer, no NUL
    struct Case {
        const char *what;
        Encipherer headers;
        const char *params;  // header password of ArcOpenParams; null: InitArcFile
        bool callback;
        std::vector<PasswordAnswer> answers;
        std::uint16_t status;
        std::size_t questions;
        std::string passwordAfter;  // HeaderPassword once done
    };
    const Case cases[] = {
        {"password in the parameters", SingleDes(kHeaderPassword), kHeaderPassword, true, {}, 0, 0,
         kHeaderPassword},
        {"the empty password is tried first", SingleDes(""), nullptr, true, {}, 0, 0, ""},
        {"asked when InitArcFile", SingleDes(kHeaderPassword), nullptr, true, {{1, kHeaderPassword}}, 0,
         1, kHeaderPassword},
        {"asked when the parameters' password is wrong", SingleDes(kHeaderPassword), "guess", true,
         {{1, kHeaderPassword}}, 0, 1, kHeaderPassword},
        {"three wrong answers, then 0", SingleDes(kHeaderPassword), nullptr, true,
         {{1, "a"}, {1, "b"}, {1, "c"}, {0, kHeaderPassword}}, QM_STATUS_BAD_PASSWORD, 4,
         kHeaderPassword},
        {"any result but 0 tries the answer", SingleDes(kHeaderPassword), nullptr, true,
         {{-7, "wrong"}, {2, kHeaderPassword}}, 0, 2, kHeaderPassword},
        {"no callback, no password", SingleDes(kHeaderPassword), nullptr, false, {}, QM_STATUS_BAD_PASSWORD,
         0, ""},
        {"no callback, wrong password", SingleDes(kHeaderPassword), "guess", false, {},
         QM_STATUS_BAD_PASSWORD, 0, "guess"},
        {"an answer without a NUL ends at 255 characters", SingleDes(std::string(255, 'x')), nullptr, true,
         {{1, kLong}}, 0, 1, std::string(255, 'x')},
        {"triple DES headers, right password given", TripleDes(kHeaderPassword), kHeaderPassword, false, {},
         QM_STATUS_BAD_PASSWORD, 0, kHeaderPassword},
        {"triple DES headers, right password answered", TripleDes(kHeaderPassword), nullptr, true,
         {{1, kHeaderPassword}, {1, kHeaderPassword}}, QM_STATUS_BAD_PASSWORD, 3, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = Write(ThreeEntries(c.headers));
        S().callbacks.cryptKey = {};
        g_passwordHost.questions.clear();
        if (c.callback)
            Ask(c.answers);
        if (c.params)
            OpenWith(path, c.params);
        else
            InitArcFile(path.c_str());

        EXPECT_EQ(GetArchiveStatus(), c.status);
        ASSERT_EQ(g_passwordHost.questions.size(), c.questions);
        for (const qmtest::PasswordQuestion &q : g_passwordHost.questions) {
            EXPECT_EQ(q.kind, 1);
            EXPECT_EQ(q.name, path);
            EXPECT_TRUE(q.bufferZeroed);
        }
        EXPECT_EQ(std::string(S().archive.HeaderPassword), c.passwordAfter);
        if (c.status == 0) {
            EXPECT_EQ(S().archive.FirstBlockPos, 34);
            // A successful open drops the callback: the host registers it again.
            EXPECT_EQ(S().callbacks.cryptKey.proc, nullptr);
        } else if (c.callback) {
            EXPECT_NE(S().callbacks.cryptKey.proc, nullptr);  // a failed open clears nothing
        }
    }
}

TEST_F(HeaderCipher, TheQuestionNamesACarrierPathOfTheFullLength)
{
    // 260 characters, the longest path a session keeps: the folder, "./"
    // repeated, and a file name of four or five characters.
    const std::string base = qmtest::LibPath(dir_.path() / "");
    ASSERT_LT(base.size(), 240u);
    const std::size_t units = (260 - base.size() - 4) / 2;
    std::string padding;
    for (std::size_t i = 0; i < units; ++i)
        padding += ".\\";
    const std::string name = base.size() % 2 == 0 ? "c.qm" : "cc.qm";
    Write(ThreeEntries(), name);
    const std::string path = base + padding + name;
    ASSERT_EQ(path.size(), 260u) << path;

    Ask({{0, ""}, {1, kHeaderPassword}});
    InitArcFile(path.c_str());
    EXPECT_EQ(GetArchiveStatus(), QM_STATUS_BAD_PASSWORD);
    ASSERT_EQ(g_passwordHost.questions.size(), 1u);
    EXPECT_EQ(g_passwordHost.questions[0].name, path);

    Ask({{1, kHeaderPassword}});
    InitArcFile(path.c_str());
    EXPECT_EQ(GetArchiveStatus(), 0);
    EXPECT_EQ(std::string(S().archive.CarrierPath), path);
}

// A host that writes into the name it was given, then answers the password.
std::int32_t QM_CALL ScribblingHost(QmUserValue, char *buffer, const char *name, std::int32_t)
{
    std::memset(const_cast<char *>(name), 'Z', std::strlen(name));
    std::strcpy(buffer, kHeaderPassword);
    return 1;
}

TEST_F(HeaderCipher, AHostWritingIntoTheNameLeavesTheSessionAlone)
{
    const std::string path = Write(ThreeEntries());
    SetSetCryptKeyProc(0, ScribblingHost);
    InitArcFile(path.c_str());
    ASSERT_EQ(GetArchiveStatus(), 0);
    EXPECT_EQ(std::string(S().archive.CarrierPath), path);
    BuildArcFileList(&arc_, nullptr);
    EXPECT_EQ(GetArchiveStatus(), 0);
    EXPECT_EQ(arc_.count, 3);
}

TEST_F(HeaderCipher, ACarrierCutInsideBlockOneIsNotAskedAbout)
{
    CarrierSpec layout;
    layout.flags = 1;
    layout.encipherHeader = SingleDes(kHeaderPassword);
    layout.entries.push_back(qmpack::StoredEntry("EMPTY.TXT", {}));
    const Bytes whole = qmpack::BuildCarrier(layout);
    ASSERT_EQ(whole.size(), 34u + 432u);

    const std::string cut = dir_.Write("cut.qm", Bytes(whole.begin(), whole.end() - 1));
    Ask({{1, kHeaderPassword}});
    InitArcFile(cut.c_str());
    EXPECT_EQ(GetArchiveStatus(), QM_STATUS_BAD_PASSWORD);
    EXPECT_TRUE(g_passwordHost.questions.empty());

    InitArcFile(dir_.Write("whole.qm", whole).c_str());
    EXPECT_EQ(GetArchiveStatus(), 0);
    EXPECT_EQ(g_passwordHost.questions.size(), 1u);
}

TEST_F(HeaderCipher, TheOpenerCanForceDeciphering)
{
    // Enciphered blocks behind a record whose flag does not say so.
    CarrierSpec layout = ThreeEntries();
    layout.flags = 0;
    const std::string path = Write(layout);
    for (const std::int32_t word : {0, 2, -1}) {
        SCOPED_TRACE(word);
        ArcOpenParams params{};
        params.headersEnciphered = word;
        std::strcpy(params.headerPassword, kHeaderPassword);
        InitHidFile(path.c_str(), &params);
        EXPECT_EQ(GetArchiveStatus(), QM_STATUS_BAD_PASSWORD);
    }
    ArcOpenParams forced{};
    forced.headersEnciphered = 1;
    std::strcpy(forced.headerPassword, kHeaderPassword);
    InitHidFile(path.c_str(), &forced);
    ASSERT_EQ(GetArchiveStatus(), 0);
    BuildArcFileList(&arc_, nullptr);
    EXPECT_EQ(GetArchiveStatus(), 0);
    EXPECT_EQ(Names(arc_), (std::vector<std::string>{"DOCS\\A.TXT", "DOCS\\B.BIN", "C.TXT"}));
}

TEST_F(HeaderCipher, ListsAndExtractsEveryEntry)
{
    const CarrierSpec layout = ThreeEntries();
    OpenWith(Write(layout), kHeaderPassword);
    ASSERT_EQ(GetArchiveStatus(), 0);
    Ask({{1, kDataPassword}});  // for the data of B.BIN: another password, another method

    EXPECT_EQ(BuildHidFileList(&hid_, nullptr), 3);
    ASSERT_EQ(hid_.count, 3);
    for (const HidFileItem *i = hid_.first; i; i = i->next) {
        // The block copies are the deciphered blocks.
        EXPECT_TRUE(qm::CheckHeaderBlockCrc(i->block)) << i->name;
        EXPECT_EQ(qm::Load32(i->block + 8), 77u);
    }
    EXPECT_EQ(hid_.first->next->cipherMethod, 0);
    EXPECT_EQ(hid_.first->next->headerPos, static_cast<std::int32_t>(BlockOffset(layout, 1)));

    BuildArcFileList(&arc_, nullptr);
    EXPECT_EQ(GetArchiveStatus(), 0);
    ASSERT_EQ(Names(arc_), (std::vector<std::string>{"DOCS\\A.TXT", "DOCS\\B.BIN", "C.TXT"}));
    EXPECT_EQ(arc_.first->unpackedSize, 300);
    EXPECT_EQ(arc_.first->next->packedSize, 1008);
    EXPECT_EQ(arc_.first->next->unpackedSize, 1001);
    EXPECT_EQ(arc_.first->next->enciphered, 1);
    EXPECT_EQ(arc_.first->next->next->enciphered, 0);

    const auto out = dir_.path() / "out";
    EXPECT_EQ(ExtractAll(out), 0);
    for (std::size_t i = 0; i < layout.entries.size(); ++i) {
        const EntrySpec &e = layout.entries[i];
        std::string name = e.name;
        std::replace(name.begin(), name.end(), '\\', '/');
        const Bytes got = qmpack::ReadFile((out / name).string());
        EXPECT_EQ(got.size(), static_cast<std::size_t>(e.unpackedSize)) << e.name;
        EXPECT_EQ(qmpack::Crc32(got), e.dataCrc) << e.name;
    }
    // Only the data password was asked for.
    EXPECT_EQ(g_passwordHost.Kinds(), std::vector<std::int32_t>{0});

    // The data key replaced the header key: a new walk selects it again.
    DoneArcFileList(&arc_);
    BuildArcFileList(&arc_, nullptr);
    EXPECT_EQ(GetArchiveStatus(), 0);
    EXPECT_EQ(arc_.count, 3);
    EXPECT_EQ(g_passwordHost.questions.size(), 1u);
}

TEST_F(HeaderCipher, TheAnswerThatLastWorkedServesTheRestOfTheWalk)
{
    // Blocks 1 and 2 under "alpha", blocks 3 and 4 under "beta".
    CarrierSpec layout = ThreeEntries();
    layout.entries.push_back(qmpack::StoredEntry("D.TXT", Data(5, 4)));
    auto alpha = SingleDes("alpha"), beta = SingleDes("beta");
    auto count = std::make_shared<int>(0);
    layout.encipherHeader = [=](std::uint8_t *block) { (++*count <= 2 ? alpha : beta)(block); };
    OpenWith(Write(layout), "alpha");
    ASSERT_EQ(GetArchiveStatus(), 0);

    Ask({{1, "beta"}});
    BuildArcFileList(&arc_, nullptr);
    EXPECT_EQ(GetArchiveStatus(), 0);
    EXPECT_EQ(arc_.count, 4);
    EXPECT_EQ(g_passwordHost.Kinds(), std::vector<std::int32_t>{1});
    EXPECT_STREQ(S().archive.HeaderPassword, "beta");
}

TEST_F(HeaderCipher, ADamagedBlockEndsTheWalk)
{
    // Block 2 of 3 damaged: it deciphers to garbage whatever the password.
    struct Case {
        const char *what;
        bool callback;
        std::vector<PasswordAnswer> answers;
        std::uint16_t status;  // after the list build
        std::size_t questions;
    };
    // Whatever the host answers, a block that the opening password does not
    // fit is damage, never the end of the archive.
    const Case cases[] = {
        {"no callback", false, {}, QM_STATUS_BAD_HEADER, 0},
        {"the host gives up", true, {{0, ""}}, QM_STATUS_BAD_HEADER, 1},
        {"the host answers the right password twice", true,
         {{1, kHeaderPassword}, {1, kHeaderPassword}, {0, ""}}, QM_STATUS_BAD_HEADER, 3},
    };
    const CarrierSpec layout = ThreeEntries();
    Bytes bytes = qmpack::BuildCarrier(layout);
    bytes[BlockOffset(layout, 1) + 200] ^= 0x01;
    const std::string path = dir_.Write("damaged.qm", bytes);

    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const auto setUp = [&] {
            OpenWith(path, kHeaderPassword, kDataPassword);
            ASSERT_EQ(GetArchiveStatus(), 0);
            if (c.callback)
                Ask(c.answers);
        };

        setUp();
        DoneHidFileList(&hid_);
        EXPECT_EQ(BuildHidFileList(&hid_, nullptr), 1);
        EXPECT_EQ(GetArchiveStatus(), c.status);
        EXPECT_EQ(g_passwordHost.questions.size(), c.questions);
        ASSERT_EQ(hid_.count, 1);
        EXPECT_STREQ(hid_.first->name, "DOCS\\A.TXT");

        // The public list: the entry before the damage, or nothing when the
        // walk ended with a status.
        setUp();
        DoneArcFileList(&arc_);
        BuildArcFileList(&arc_, nullptr);
        EXPECT_EQ(GetArchiveStatus(), c.status);
        EXPECT_EQ(arc_.count, c.status == 0 ? 1 : 0);

        // Extraction never reaches the entries behind the damage.
        setUp();
        const auto out = dir_.path() / ("out-" + std::to_string(c.questions));
        EXPECT_EQ(ExtractAll(out), c.status);
        EXPECT_EQ(std::filesystem::exists(out / "DOCS" / "A.TXT"), c.status == 0);
        EXPECT_FALSE(std::filesystem::exists(out / "DOCS" / "B.BIN"));
        EXPECT_FALSE(std::filesystem::exists(out / "C.TXT"));
        std::vector<std::int32_t> kinds(c.questions, 1);
        EXPECT_EQ(g_passwordHost.Kinds(), kinds);
        SetArchiveStatus(0);
    }
}

TEST_F(HeaderCipher, NothingReadGivesAnEmptyListStatus)
{
    // The archive changes behind the session: block 1 no longer deciphers.
    const CarrierSpec layout = ThreeEntries();
    const std::string path = Write(layout);
    Bytes bytes = qmpack::BuildCarrier(layout);
    bytes[BlockOffset(layout, 0) + 17] ^= 0x80;
    for (const bool callback : {false, true}) {
        SCOPED_TRACE(callback ? "the host gives up" : "no callback");
        qmpack::WriteFile(path, qmpack::BuildCarrier(layout));
        OpenWith(path, kHeaderPassword);
        ASSERT_EQ(GetArchiveStatus(), 0);
        qmpack::WriteFile(path, bytes);
        if (callback)
            Ask({{0, ""}});
        DoneHidFileList(&hid_);
        EXPECT_EQ(BuildHidFileList(&hid_, nullptr), 0);
        EXPECT_EQ(GetArchiveStatus(), QM_STATUS_EMPTY_LIST);  // replaces 9961
        EXPECT_EQ(g_passwordHost.questions.size(), callback ? 1u : 0u);
        SetArchiveStatus(0);
    }
}

TEST_F(HeaderCipher, HostileFieldsBehindAMatchingCrcMeetThePlainBlockGuards)
{
    // Block 2 carries a matching CRC once deciphered, but fields no plain
    // block may carry either.
    struct Case {
        const char *what;
        std::function<void(EntrySpec &)> spoil;
    };
    const Case cases[] = {
        {"wrong magic", [](EntrySpec &e) { e.magic = 78; }},
        {"name without its NUL", [](EntrySpec &e) { e.nameWithoutNul = true; }},
        {"packed size sending the walk back", [](EntrySpec &e) { e.packedSize = -432; }},
        {"negative packed size", [](EntrySpec &e) { e.packedSize = -1; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        CarrierSpec layout = ThreeEntries();
        c.spoil(layout.entries[1]);
        OpenWith(Write(layout), kHeaderPassword);
        ASSERT_EQ(GetArchiveStatus(), 0);
        DoneHidFileList(&hid_);
        EXPECT_EQ(BuildHidFileList(&hid_, nullptr), 1);
        EXPECT_EQ(GetArchiveStatus(), QM_STATUS_BAD_HEADER);
        SetArchiveStatus(0);
        DoneArcFileList(&arc_);
        BuildArcFileList(&arc_, nullptr);
        EXPECT_EQ(GetArchiveStatus(), QM_STATUS_BAD_HEADER);
        EXPECT_EQ(arc_.count, 0);
        SetArchiveStatus(0);
    }
}

}  // namespace
