// The bitsliced DES kernels against the table-driven code, which the known
// answers (des_test.cpp) and OpenSSL (native/des_kernels_openssl_test.cpp)
// pin down.  Each kernel this processor runs is tested on its own, so the
// Windows builds under Wine test theirs too; a kernel it cannot run is
// skipped, and says so.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "crypto/des.h"
#include "crypto/des_kernels.h"

namespace qm {

// Names a kernel in the tests' messages.
void PrintTo(DesKernel kernel, std::ostream *os) { *os << DesKernelFor(kernel).name; }

}  // namespace qm

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes RandomBytes(std::mt19937 &rng, std::size_t n)
{
    Bytes b(n);
    for (auto &v : b)
        v = static_cast<std::uint8_t>(rng());
    return b;
}

qm::DesSchedule RandomSchedule(std::mt19937 &rng, qm::DesDirection direction)
{
    const Bytes key = RandomBytes(rng, 8);
    qm::DesSchedule s;
    qm::BuildDesSchedule(key.data(), direction, s);
    return s;
}

struct Keys {
    qm::DesSchedule k1, k2;
    Bytes chaining;
};

Keys RandomKeys(std::mt19937 &rng)
{
    return {RandomSchedule(rng, qm::DesDirection::Decrypt), RandomSchedule(rng, qm::DesDirection::Encrypt),
            RandomBytes(rng, 8)};
}

// The table-driven results, and the chaining value the run leaves.
Bytes TableEcb(Bytes data, const Keys &k)
{
    qm::DesBlocksTable(data.data(), data.size() / 8, k.k1);
    return data;
}

Bytes TableCbc(Bytes data, const Keys &k, Bytes &chaining)
{
    chaining = k.chaining;
    qm::TripleDesCbcTable(data.data(), data.size() / 8, k.k1, k.k2, chaining.data());
    return data;
}

constexpr std::size_t kGuard = 24;
constexpr std::uint8_t kGuardByte = 0xC5;

// A run of `blocks` through a kernel function, in a buffer with guard bytes
// on both sides that must come back untouched.
class GuardedRun {
public:
    explicit GuardedRun(const Bytes &data) : buffer_(kGuard, kGuardByte)
    {
        buffer_.reserve(kGuard + data.size() + kGuard);
        for (std::uint8_t b : data)
            buffer_.push_back(b);
        buffer_.resize(buffer_.size() + kGuard, kGuardByte);
    }
    std::uint8_t *Data() { return buffer_.data() + kGuard; }
    Bytes Result() const
    {
        return Bytes(buffer_.begin() + kGuard, buffer_.end() - static_cast<std::ptrdiff_t>(kGuard));
    }
    bool GuardsIntact() const
    {
        for (std::size_t i = 0; i < kGuard; ++i)
            if (buffer_[i] != kGuardByte || buffer_[buffer_.size() - 1 - i] != kGuardByte)
                return false;
        return true;
    }

private:
    Bytes buffer_;
};

class DesKernelTest : public testing::TestWithParam<qm::DesKernel> {
protected:
    void SetUp() override
    {
        if (!qm::DesKernelRuns(GetParam()))
            GTEST_SKIP() << "this processor does not run the " << qm::DesKernelFor(GetParam()).name << " kernel";
    }
    const qm::DesKernelInfo &Kernel() const { return qm::DesKernelFor(GetParam()); }

    // The kernel's own functions (every block bitsliced) and the tail rule
    // (DesBlocksThrough) on one run, against the tables.
    void CheckRun(std::mt19937 &rng, std::size_t blocks, bool throughTailRule)
    {
        const Keys k = RandomKeys(rng);
        const Bytes data = RandomBytes(rng, 8 * blocks);
        Bytes tableChaining;
        const Bytes ecb = TableEcb(data, k), cbc = TableCbc(data, k, tableChaining);

        GuardedRun single(data), triple(data);
        Bytes chaining = k.chaining;
        if (throughTailRule) {
            qm::DesBlocksThrough(Kernel(), single.Data(), blocks, k.k1);
            qm::TripleDesCbcThrough(Kernel(), triple.Data(), blocks, k.k1, k.k2, chaining.data());
        } else {
            Kernel().ecb(single.Data(), blocks, k.k1);
            Kernel().tripleCbc(triple.Data(), blocks, k.k1, k.k2, chaining.data());
        }
        const char *how = throughTailRule ? "through the tail rule" : "every block bitsliced";
        EXPECT_EQ(single.Result(), ecb) << blocks << " blocks, " << how;
        EXPECT_EQ(triple.Result(), cbc) << blocks << " blocks, " << how;
        EXPECT_EQ(chaining, tableChaining) << blocks << " blocks, " << how;
        EXPECT_TRUE(single.GuardsIntact() && triple.GuardsIntact()) << blocks << " blocks, " << how;
    }
};

// Every length of a partial batch, alone and behind a whole batch, so every
// lane of the padded pass and the chaining from a whole batch into a partial
// one are checked.
TEST_P(DesKernelTest, EveryOffsetOfAPartialBatch)
{
    std::mt19937 rng(11 + static_cast<unsigned>(GetParam()));
    const std::size_t batch = Kernel().batchBlocks;
    for (std::size_t blocks = 1; blocks <= 2 * batch + 1; ++blocks)
        CheckRun(rng, blocks, false);
}

// The tail rule: whole batches through the kernel, a short tail through the
// tables; the counts around both edges.
TEST_P(DesKernelTest, TailsShortAndLongThroughTheTailRule)
{
    std::mt19937 rng(23 + static_cast<unsigned>(GetParam()));
    const std::size_t batch = Kernel().batchBlocks, below = Kernel().tableBelow;
    for (std::size_t whole : {std::size_t{0}, std::size_t{1}, std::size_t{3}})
        for (std::size_t tail : {std::size_t{0}, std::size_t{1}, below - 1, below, below + 1, batch - 1})
            if (whole * batch + tail > 0)
                CheckRun(rng, whole * batch + tail, true);
}

// A long run (1 MiB and one block) in one call, and the same stream of
// triple DES in pieces of whole blocks, which carry the chaining value.
TEST_P(DesKernelTest, LongRunInOneCallAndInPieces)
{
    std::mt19937 rng(37 + static_cast<unsigned>(GetParam()));
    CheckRun(rng, (1 << 17) + 1, false);

    const Keys k = RandomKeys(rng);
    const Bytes data = RandomBytes(rng, 8 * 5000);
    Bytes tableChaining;
    const Bytes expected = TableCbc(data, k, tableChaining);
    Bytes pieces = data, chaining = k.chaining;
    const std::size_t batch = Kernel().batchBlocks;
    for (std::size_t at = 0, n = 1; at < 5000; at += n, n = n * 3 % (2 * batch + 7) + 1) {
        n = std::min<std::size_t>(n, 5000 - at);
        Kernel().tripleCbc(pieces.data() + 8 * at, n, k.k1, k.k2, chaining.data());
    }
    EXPECT_EQ(pieces, expected);
    EXPECT_EQ(chaining, tableChaining);
}

INSTANTIATE_TEST_SUITE_P(Kernels, DesKernelTest,
                         testing::Values(qm::DesKernel::Sse2, qm::DesKernel::Avx2, qm::DesKernel::Avx512),
                         [](const testing::TestParamInfo<qm::DesKernel> &kernel) {
                             return std::string(qm::DesKernelFor(kernel.param).name);
                         });

// The choice: made once, a kernel the processor runs, and the widest one.
TEST(DesKernelChoice, TheFastestKernelRunsAndIsTheWidest)
{
    const qm::DesKernelInfo &chosen = qm::FastestDesKernel();
    EXPECT_EQ(&chosen, &qm::FastestDesKernel());
    EXPECT_TRUE(qm::DesKernelRuns(chosen.kernel));
    for (qm::DesKernel k : {qm::DesKernel::Sse2, qm::DesKernel::Avx2, qm::DesKernel::Avx512})
        if (qm::DesKernelRuns(k)) {
            EXPECT_GE(chosen.batchBlocks, qm::DesKernelFor(k).batchBlocks) << qm::DesKernelFor(k).name;
        }
    std::printf("DES kernel chosen on this processor: %s\n", chosen.name);
}

}  // namespace
