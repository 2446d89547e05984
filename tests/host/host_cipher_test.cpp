// A host that knows the library only through its public header and its
// shared library extracts the enciphered fixtures (single DES, triple DES
// over entries long enough for the bitsliced kernels, enciphered header
// blocks): the DLL deciphers them with the kernel it chose on this processor,
// which is how the Windows runs under Wine show that the DLLs take their own
// paths.  The fixtures are written by the native fixture maker for those runs
// (QM_FIXTURE_DIR); natively the static suites check the same extraction.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "extract_cipher_check.h"

#ifndef QM_FIXTURE_DIR
#define QM_FIXTURE_DIR ""
#endif

namespace {

namespace fs = std::filesystem;

TEST(HostCipher, EncipheredFixturesExtractThroughTheSharedLibrary)
{
    const std::string dir = QM_FIXTURE_DIR;
    if (dir.empty())
        GTEST_SKIP() << "no fixture directory given (QM_FIXTURE_DIR)";
    const fs::path work =
        fs::temp_directory_path() /
        ("quillmark-host-cipher-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::remove_all(work);
    fs::create_directories(work);
    EXPECT_EQ(qmtest::CheckCipherFixtureExtraction(dir, work, false), 6);
    EXPECT_EQ(qmtest::CheckCipherFixtureExtraction(dir, work, true), 5);
    std::error_code ec;
    fs::remove_all(work, ec);
}

}  // namespace
