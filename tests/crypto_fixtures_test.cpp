// The enciphered fixtures that OpenSSL wrote at build time (qm_make_fixtures),
// deciphered with our cipher code.  This is how the Windows run checks our
// ciphers against OpenSSL; natively the native suite writes its own fixtures.
#include <gtest/gtest.h>

#include <string>

#include "crypto_fixture_check.h"

#ifndef QM_FIXTURE_DIR
#define QM_FIXTURE_DIR ""
#endif

namespace {

TEST(CryptoFixtures, OpenSslFixturesDecipher)
{
    const std::string dir = QM_FIXTURE_DIR;
    if (dir.empty())
        GTEST_SKIP() << "no fixture directory given (QM_FIXTURE_DIR)";
    EXPECT_GT(qmtest::CheckCipherFixtures(dir), 0);
}

}  // namespace
