// quill_passwords_test.cpp - quill's password handling over archives whose
// data (DES, triple DES) and header blocks are really enciphered (the
// packer's ciphers are OpenSSL's, so native only): the -p and -H passwords,
// the questions on a terminal and their limits, and the message for each
// way a password fails.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "packer_crypto/packer_crypto.h"
#include "quill/codepage.h"
#include "quill/commands.h"
#include "quill/exit_codes.h"
#include "quill_scripted_console.h"
#include "quillmark.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using qmpack::Bytes;

const Bytes kText = {'h', 'e', 'l', 'l', 'o', '\n'};
const Bytes kSecret = Bytes(5000, 'S');
constexpr qmpack::ChainingBlock kChaining = {1, 2, 3, 4, 5, 6, 7, 8};

class QuillPasswords : public ::testing::Test {
protected:
    std::string Carrier(std::vector<qmpack::EntrySpec> entries, const std::string &headerPassword = {})
    {
        qmpack::CarrierSpec carrier;
        carrier.prefix = Bytes(64, 0);
        carrier.entries = std::move(entries);
        if (!headerPassword.empty()) {
            carrier.flags = 1;
            carrier.encipherHeader = qmpack::HeaderEncipherer(headerPassword);
        }
        return dir.Write("archive.qm", qmpack::BuildCarrier(carrier));
    }

    quill::CommandLine Line(quill::Command command, const std::string &archive,
                            const char *password = nullptr, const char *headerPassword = nullptr)
    {
        quill::CommandLine line;
        line.command = command;
        line.archive = *quill::ToLibraryPath(archive);
        if (command == quill::Command::Extract)
            line.outputDir = *quill::ToLibraryPath(out.string());
        if (password) {
            line.password = password;
            line.passwordGiven = true;
        }
        if (headerPassword) {
            line.headerPassword = headerPassword;
            line.headerPasswordGiven = true;
        }
        return line;
    }

    int Run(const quill::CommandLine &line, bool terminal = false, std::vector<std::string> typed = {})
    {
        fs::remove_all(out);
        console = std::make_unique<qmtest::ScriptedConsole>(terminal, std::move(typed));
        switch (line.command) {
        case quill::Command::List:
            return quill::RunList(line, *console);
        case quill::Command::Test:
            return quill::RunTest(line, *console);
        default:
            return quill::RunExtract(line, *console);
        }
    }

    bool Complained(const std::string &piece) const { return console->Err().find(piece) != std::string::npos; }
    bool Extracted(const char *name, const Bytes &data) const
    {
        return fs::exists(out / name) && qmpack::ReadFile((out / name).string()) == data;
    }

    qmtest::TempDir dir;
    fs::path out = dir.path() / "out";
    std::unique_ptr<qmtest::ScriptedConsole> console;
};

TEST_F(QuillPasswords, DataPasswordFromTheCommandLineOrTheTerminal)
{
    const auto archive = Carrier({qmpack::StoredEntry("A.TXT", kText),
                                  qmpack::EncipheredEntry("SECRET.TXT", kSecret, QM_CIPHER_DES, "right", kChaining)});
    struct Case {
        const char *what;
        const char *password;
        bool terminal;
        std::vector<std::string> typed;
        int exitCode;
        size_t prompts;
        const char *complaint;
    };
    const Case cases[] = {
        {"-p right", "right", false, {}, quill::kExitOk, 0, ""},
        {"-p wrong: final, even on a terminal", "wrong", true, {"right"}, quill::kExitPassword, 0, "archive.qm: wrong password for SECRET.TXT"},
        {"none, no terminal", nullptr, false, {}, quill::kExitPassword, 0, "archive.qm: SECRET.TXT is enciphered: give its password with -p"},
        {"typed right", nullptr, true, {"right"}, quill::kExitOk, 1, ""},
        {"typed wrong, then right", nullptr, true, {"wrong", "right"}, quill::kExitOk, 2, "archive.qm: wrong password for SECRET.TXT"},
        {"typed wrong three times", nullptr, true, {"w1", "w2", "w3", "right"}, quill::kExitPassword, 3, "archive.qm: wrong password for SECRET.TXT"},
        {"nothing typed", nullptr, true, {""}, quill::kExitPassword, 1, "archive.qm: no password given for SECRET.TXT"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Run(Line(quill::Command::Extract, archive, c.password), c.terminal, c.typed), c.exitCode)
            << console->Err();
        EXPECT_EQ(console->prompts.size(), c.prompts);
        for (const auto &prompt : console->prompts)
            EXPECT_EQ(prompt, "Password for SECRET.TXT: ");
        EXPECT_TRUE(Extracted("A.TXT", kText));
        EXPECT_EQ(Extracted("SECRET.TXT", kSecret), c.exitCode == quill::kExitOk);
        if (c.exitCode != quill::kExitOk) {
            EXPECT_FALSE(fs::exists(out / "SECRET.TXT"));  // nothing half-written stays
        }
        EXPECT_TRUE(Complained(c.complaint)) << console->Err();

        // The test asks alike, though it reads through the handles and must
        // open the archive again for each password typed after a wrong one.
        EXPECT_EQ(Run(Line(quill::Command::Test, archive, c.password), c.terminal, c.typed), c.exitCode)
            << console->Err();
        EXPECT_EQ(console->prompts.size(), c.prompts);
        EXPECT_EQ(console->Out().find("  ok  SECRET.TXT") != std::string::npos, c.exitCode == quill::kExitOk)
            << console->Out();
        EXPECT_NE(console->Out().find("  ok  A.TXT"), std::string::npos) << console->Out();
        EXPECT_TRUE(Complained(c.complaint)) << console->Err();
    }
}

TEST_F(QuillPasswords, EachEntryMayHaveItsOwnPassword)
{
    const auto archive = Carrier({qmpack::EncipheredEntry("A.TXT", kText, QM_CIPHER_TRIPLE_DES, "one", kChaining),
                                  qmpack::EncipheredEntry("B.TXT", kSecret, QM_CIPHER_DES, "two", kChaining)});
    EXPECT_EQ(Run(Line(quill::Command::Extract, archive), true, {"one", "two"}), quill::kExitOk) << console->Err();
    EXPECT_TRUE(Extracted("A.TXT", kText));
    EXPECT_TRUE(Extracted("B.TXT", kSecret));
    EXPECT_TRUE(Complained("the password does not fit B.TXT")) << console->Err();

    // The test names the entry whose password is wrong and checks the rest.
    const auto test = Line(quill::Command::Test, archive, "one");
    EXPECT_EQ(Run(test), quill::kExitPassword);
    EXPECT_NE(console->Out().find("  ok  A.TXT"), std::string::npos) << console->Out();
    EXPECT_TRUE(Complained("wrong password for B.TXT")) << console->Err();
    EXPECT_TRUE(Complained("1 of 2 entries failed the test"));
    EXPECT_FALSE(fs::exists(out));

    // Without a password or a terminal, every enciphered entry is named (the
    // question about an entry comes before the entry begins).
    const auto mixed = Carrier({qmpack::EncipheredEntry("A.TXT", kText, QM_CIPHER_DES, "one", kChaining),
                                qmpack::StoredEntry("P.TXT", kText),
                                qmpack::EncipheredEntry("B.TXT", kSecret, QM_CIPHER_DES, "two", kChaining),
                                qmpack::StoredEntry("Q.TXT", kText)});
    EXPECT_EQ(Run(Line(quill::Command::Test, mixed)), quill::kExitPassword);
    EXPECT_TRUE(Complained("A.TXT is enciphered: give its password with -p")) << console->Err();
    EXPECT_TRUE(Complained("B.TXT is enciphered: give its password with -p")) << console->Err();
    EXPECT_EQ(console->Out(), "Testing " + mixed + "\n  ok  P.TXT\n  ok  Q.TXT\n");
    EXPECT_TRUE(Complained("2 of 4 entries failed the test"));
}

// Archives with enciphered header blocks.  Until the library deciphers
// them, these tests say so and skip.
class QuillHeaderPasswords : public QuillPasswords {
protected:
    void SetUp() override
    {
        archive = Carrier({qmpack::StoredEntry("A.TXT", kText),
                           qmpack::EncipheredEntry("SECRET.TXT", kSecret, QM_CIPHER_DES, "data", kChaining)},
                          "head");
        static ArcOpenParams params;
        params = {};
        std::memcpy(params.headerPassword, "head", 5);
        SetSetCryptKeyProc(0, nullptr);
        InitHidFile(quill::ToLibraryPath(archive)->c_str(), &params);
        const uint16_t status = GetArchiveStatus();
        DoneArcFile(0);
        if (status != QM_STATUS_OK)
            GTEST_SKIP() << "the library does not open archives with enciphered header blocks (status "
                         << status << ")";
    }

    std::string archive;
};

TEST_F(QuillHeaderPasswords, HeaderPasswordFromTheCommandLineOrTheTerminal)
{
    struct Case {
        const char *what;
        const char *headerPassword;
        bool terminal;
        std::vector<std::string> typed;
        int exitCode;
        size_t prompts;
        const char *complaint;
    };
    const Case cases[] = {
        {"-H right", "head", false, {}, quill::kExitOk, 0, ""},
        {"-H wrong: final, even on a terminal", "wrong", true, {"head"}, quill::kExitPassword, 0, "archive.qm: wrong header password"},
        {"none, no terminal", nullptr, false, {}, quill::kExitPassword, 0, "archive.qm: the header blocks are enciphered: give the header password with -H"},
        {"typed wrong, then right", nullptr, true, {"wrong", "head"}, quill::kExitOk, 2, "archive.qm: wrong header password"},
        {"typed wrong three times", nullptr, true, {"w1", "w2", "w3", "head"}, quill::kExitPassword, 3, "archive.qm: wrong header password"},
        {"the data password does not open the headers", nullptr, false, {}, quill::kExitPassword, 0, "give the header password with -H"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        auto line = Line(quill::Command::List, archive, "data", c.headerPassword);
        EXPECT_EQ(Run(line, c.terminal, c.typed), c.exitCode) << console->Err();
        EXPECT_EQ(console->prompts.size(), c.prompts);
        for (const auto &prompt : console->prompts)
            EXPECT_NE(prompt.find("Header password for "), std::string::npos) << prompt;
        EXPECT_EQ(console->Out().find("SECRET.TXT") != std::string::npos, c.exitCode == quill::kExitOk);
        EXPECT_TRUE(Complained(c.complaint)) << console->Err();
    }
}

TEST_F(QuillHeaderPasswords, HeaderAndDataPasswordsAreSeparateQuestions)
{
    // -H for the headers; the data password is asked for on its own.
    EXPECT_EQ(Run(Line(quill::Command::Extract, archive, nullptr, "head"), true, {"data"}), quill::kExitOk)
        << console->Err();
    ASSERT_EQ(console->prompts.size(), 1u);
    EXPECT_EQ(console->prompts[0], "Password for SECRET.TXT: ");
    EXPECT_TRUE(Extracted("SECRET.TXT", kSecret));

    // Both asked, the header password first.
    EXPECT_EQ(Run(Line(quill::Command::Extract, archive), true, {"head", "data"}), quill::kExitOk)
        << console->Err();
    ASSERT_EQ(console->prompts.size(), 2u);
    EXPECT_NE(console->prompts[0].find("Header password for "), std::string::npos);
    EXPECT_EQ(console->prompts[1], "Password for SECRET.TXT: ");
    EXPECT_TRUE(Extracted("A.TXT", kText));

    EXPECT_EQ(Run(Line(quill::Command::Test, archive, "data", "head")), quill::kExitOk) << console->Err();
    // The header password does not open the data.
    EXPECT_EQ(Run(Line(quill::Command::Extract, archive, "head", "head")), quill::kExitPassword);
    EXPECT_TRUE(Complained("wrong password for SECRET.TXT")) << console->Err();

    // One password for both: -p alone opens the headers too.
    const auto shared = Carrier({qmpack::EncipheredEntry("S.TXT", kSecret, QM_CIPHER_DES, "both", kChaining)}, "both");
    EXPECT_EQ(Run(Line(quill::Command::Extract, shared, "both")), quill::kExitOk) << console->Err();
    EXPECT_TRUE(Extracted("S.TXT", kSecret));
}

TEST_F(QuillHeaderPasswords, ABlockThatDoesNotDecipherLaterIsDamage)
{
    qmpack::EntrySpec broken = qmpack::StoredEntry("B.TXT", kText);
    broken.headerCrc = 0x12345678;
    const auto damaged = Carrier({qmpack::StoredEntry("A.TXT", kText), broken,
                                  qmpack::StoredEntry("C.TXT", kText)},
                                 "head");
    // The listing shows what came before, and says the archive is damaged
    // instead of asking for the header password again or ending silently.
    EXPECT_EQ(Run(Line(quill::Command::List, damaged, nullptr, "head"), true, {"head"}), quill::kExitDamaged);
    EXPECT_TRUE(console->prompts.empty());
    EXPECT_NE(console->Out().find("A.TXT"), std::string::npos) << console->Out();
    EXPECT_EQ(console->Out().find("C.TXT"), std::string::npos) << console->Out();
    EXPECT_TRUE(Complained("the archive is damaged: a header block does not decipher")) << console->Err();
    EXPECT_EQ(Run(Line(quill::Command::Test, damaged, nullptr, "head")), quill::kExitDamaged) << console->Err();
    EXPECT_EQ(Run(Line(quill::Command::Extract, damaged, nullptr, "head")), quill::kExitDamaged) << console->Err();
    EXPECT_FALSE(fs::exists(out));
}

}  // namespace
