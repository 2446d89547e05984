// The fixture maker's carriers, written into a temporary directory and
// deciphered with our cipher code.
#include <gtest/gtest.h>

#include "crypto_fixture_check.h"
#include "packer_crypto/cipher_fixtures.h"
#include "support/temp_dir.h"

namespace {

TEST(CryptoFixtures, MakerOutputDeciphers)
{
    qmtest::TempDir dir;
    ASSERT_TRUE(qmpack::WriteCipherFixtures(dir.path().string()));
    EXPECT_EQ(qmtest::CheckCipherFixtures(dir.path().string()), 11);
}

}  // namespace
