// Extraction of the enciphered fixtures the build wrote with OpenSSL: how the
// Windows run checks enciphered extraction (natively the native suite writes
// its own fixtures).
#include <gtest/gtest.h>

#include "extract_cipher_check.h"
#include "header_cipher_fixture_check.h"
#include "support/temp_dir.h"

#ifndef QM_FIXTURE_DIR
#define QM_FIXTURE_DIR ""
#endif

namespace {

TEST(ExtractCipherFixtures, EveryDataCipherMethodExtracts)
{
    const std::string dir = QM_FIXTURE_DIR;
    if (dir.empty())
        GTEST_SKIP() << "no fixture directory given (QM_FIXTURE_DIR)";
    qmtest::TempDir work;
    EXPECT_EQ(qmtest::CheckCipherFixtureExtraction(dir, work.path(), false), 6);
}

TEST(ExtractCipherFixtures, EncipheredHeadersOpenListAndExtract)
{
    const std::string dir = QM_FIXTURE_DIR;
    if (dir.empty())
        GTEST_SKIP() << "no fixture directory given (QM_FIXTURE_DIR)";
    qmtest::TempDir work;
    EXPECT_EQ(qmtest::CheckHeaderFixtureListing(dir), 5);
    EXPECT_EQ(qmtest::CheckCipherFixtureExtraction(dir, work.path(), true), 5);
}

}  // namespace
