// header_cipher_fixture_check.h - opens and lists the fixture carriers whose
// header blocks the packer enciphered with OpenSSL, through the exports,
// with the header password asked from the host.  Shared by the portable
// suite (the Windows run reads the fixtures the build wrote) and the native
// suite (which writes its own).
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "extract_cipher_check.h"
#include "header_password_host.h"
#include "quillmark.h"

namespace qmtest {

// For every carrier with enciphered headers: a wrong answer and then the
// right one open it (two kind-1 questions naming the carrier), the list
// holds its entries in order with their sizes, and a wrong answer followed
// by 0 fails the open with 9961.  Returns the number of entries listed.
inline int CheckHeaderFixtureListing(const std::string &dir)
{
    std::map<std::string, std::vector<CipherFixtureEntry>> carriers;
    for (const CipherFixtureEntry &e : ReadCipherFixtureManifest(dir))
        if (e.headersEnciphered)
            carriers[e.carrier].push_back(e);
    EXPECT_FALSE(carriers.empty()) << "no carriers with enciphered headers in " << dir;

    int listed = 0;
    for (const auto &[carrierName, entries] : carriers) {
        SCOPED_TRACE(carrierName);
        const std::string carrier = LibPath(dir + "/" + carrierName);
        const std::string right = entries.front().headerPassword;
        const std::string wrong = entries.front().wrongPassword;

        g_passwordHost = PasswordHost{{{1, wrong}, {1, right}}, 0, {}, 0};
        SetSetCryptKeyProc(0, AnswerPassword);
        InitArcFile(carrier.c_str());
        EXPECT_EQ(GetArchiveStatus(), 0);
        EXPECT_EQ(g_passwordHost.Kinds(), (std::vector<std::int32_t>{1, 1}));
        for (const PasswordQuestion &q : g_passwordHost.questions)
            EXPECT_EQ(q.name, carrier);

        ArcFileList list;
        InitArcFileList(&list);
        BuildArcFileList(&list, nullptr);
        EXPECT_EQ(GetArchiveStatus(), 0);
        EXPECT_EQ(list.count, static_cast<std::int32_t>(entries.size()));
        const ArcFileItem *item = list.first;
        for (const CipherFixtureEntry &e : entries) {
            if (!item) {
                ADD_FAILURE() << "missing " << e.name;
                break;
            }
            EXPECT_EQ(std::string(item->name), e.name);
            EXPECT_EQ(item->packedSize, static_cast<std::int64_t>(e.packed));
            EXPECT_EQ(item->unpackedSize,
                      static_cast<std::int64_t>(qmpack::ReadFile(dir + "/" + e.plainFile).size()));
            EXPECT_EQ(item->enciphered, e.method == -1 ? 0 : 1);
            item = item->next;
            ++listed;
        }
        DoneArcFileList(&list);
        DoneArcFile(0);

        g_passwordHost = PasswordHost{{{1, wrong}, {0, right}}, 0, {}, 0};
        SetSetCryptKeyProc(0, AnswerPassword);
        InitArcFile(carrier.c_str());
        EXPECT_EQ(GetArchiveStatus(), QM_STATUS_BAD_PASSWORD);
        EXPECT_EQ(g_passwordHost.questions.size(), 2u);
        SetSetCryptKeyProc(0, nullptr);  // a failed open keeps it
        SetArchiveStatus(0);
    }
    return listed;
}

}  // namespace qmtest
