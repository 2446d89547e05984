// Every DES kernel this processor runs (the tables and each bitsliced one),
// called directly and through the tail rule, against OpenSSL's DES-ECB and
// DES-EDE-CBC decryption on random keys, chaining values and data: every
// block count up to two batches and one block of the widest kernel (so every
// offset of a partial batch, alone and behind a whole one), and a run of
// 1 MiB and 8 bytes.
#define OPENSSL_SUPPRESS_DEPRECATED 1

#include <gtest/gtest.h>
#include <openssl/des.h>

#include <cstring>
#include <random>
#include <vector>

#include "crypto/des.h"
#include "crypto/des_kernels.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes RandomBytes(std::mt19937 &rng, std::size_t n)
{
    Bytes b(n);
    for (auto &v : b)
        v = static_cast<std::uint8_t>(rng());
    return b;
}

DES_key_schedule OpenSslKey(const std::uint8_t *key)
{
    DES_cblock block;
    std::memcpy(block, key, 8);
    DES_key_schedule s;
    DES_set_key_unchecked(&block, &s);
    return s;
}

struct Case {
    Bytes key1, key2, chaining, data;
    Bytes ecb, cbc;  // OpenSSL's results
};

Case MakeCase(std::mt19937 &rng, std::size_t blocks)
{
    Case c{RandomBytes(rng, 8), RandomBytes(rng, 8), RandomBytes(rng, 8), RandomBytes(rng, 8 * blocks), {}, {}};
    DES_key_schedule k1 = OpenSslKey(c.key1.data()), k2 = OpenSslKey(c.key2.data());
    c.ecb.resize(c.data.size());
    for (std::size_t at = 0; at < c.data.size(); at += 8)
        DES_ecb_encrypt(reinterpret_cast<const_DES_cblock *>(c.data.data() + at),
                        reinterpret_cast<DES_cblock *>(c.ecb.data() + at), &k1, DES_DECRYPT);
    c.cbc.resize(c.data.size());
    DES_cblock chaining;
    std::memcpy(chaining, c.chaining.data(), 8);
    DES_ede3_cbc_encrypt(c.data.data(), c.cbc.data(), static_cast<long>(c.data.size()), &k1, &k2, &k1, &chaining,
                         DES_DECRYPT);
    return c;
}

std::vector<const qm::DesKernelInfo *> RunnableKernels()
{
    std::vector<const qm::DesKernelInfo *> kernels;
    for (qm::DesKernel k : {qm::DesKernel::Table, qm::DesKernel::Sse2, qm::DesKernel::Avx2, qm::DesKernel::Avx512})
        if (qm::DesKernelRuns(k))
            kernels.push_back(&qm::DesKernelFor(k));
    return kernels;
}

// One case through one kernel, directly or through the tail rule.
void Check(const Case &c, const qm::DesKernelInfo &kernel, bool throughTailRule)
{
    qm::DesSchedule k1, k2;
    qm::BuildDesSchedule(c.key1.data(), qm::DesDirection::Decrypt, k1);
    qm::BuildDesSchedule(c.key2.data(), qm::DesDirection::Encrypt, k2);
    const std::size_t blocks = c.data.size() / 8;
    Bytes single = c.data, triple = c.data, chaining = c.chaining;
    if (throughTailRule) {
        qm::DesBlocksThrough(kernel, single.data(), blocks, k1);
        qm::TripleDesCbcThrough(kernel, triple.data(), blocks, k1, k2, chaining.data());
    } else {
        kernel.ecb(single.data(), blocks, k1);
        kernel.tripleCbc(triple.data(), blocks, k1, k2, chaining.data());
    }
    const char *how = throughTailRule ? "tail rule" : "directly";
    EXPECT_EQ(single, c.ecb) << kernel.name << ", " << how << ", " << blocks << " blocks";
    EXPECT_EQ(triple, c.cbc) << kernel.name << ", " << how << ", " << blocks << " blocks";
    EXPECT_TRUE(std::equal(chaining.begin(), chaining.end(), c.data.end() - 8))
        << kernel.name << ", " << how << ", " << blocks << " blocks";
}

TEST(DesKernelsAgainstOpenSsl, EveryLengthUpToTwoBatchesAndABlock)
{
    const auto kernels = RunnableKernels();
    std::size_t widest = 1;
    for (const auto *k : kernels)
        widest = std::max(widest, k->batchBlocks);
    std::mt19937 rng(41);
    for (std::size_t blocks = 1; blocks <= 2 * widest + 1; ++blocks) {
        const Case c = MakeCase(rng, blocks);
        for (const auto *k : kernels)
            if (blocks <= 2 * k->batchBlocks + 1 || blocks % 61 == 0) {
                Check(c, *k, false);
                Check(c, *k, true);
            }
    }
}

TEST(DesKernelsAgainstOpenSsl, OneMebibyteAndABlock)
{
    std::mt19937 rng(43);
    const Case c = MakeCase(rng, (1 << 17) + 1);
    for (const auto *k : RunnableKernels()) {
        Check(c, *k, false);
        Check(c, *k, true);
    }
}

}  // namespace
