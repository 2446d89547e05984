// des_dispatch.cpp - which kernel runs DES over a run of blocks.
//
// The choice is made once, at the first call, from what the processor
// offers (a function-local static: thread-safe, and never changed after).
// A run then goes through that kernel in whole batches; its last partial
// batch, and a run shorter than a batch, go through the tables when they are
// shorter than the kernel's tableBelow, measured with des_bench (its short
// runs): below it the table-driven code finishes before one bitsliced pass
// would: about 56, 50 and 40 blocks for the SSE2, AVX2 and AVX-512 kernels
// on the machine of the README's figures.
#include "crypto/cpu_features.h"
#include "crypto/des.h"
#include "crypto/des_kernels.h"

namespace qm {

namespace {

constexpr DesKernelInfo kTable = {DesKernel::Table, "table", 1, 0, DesBlocksTable, TripleDesCbcTable};
#ifdef QM_DES_HAVE_BITSLICED
constexpr DesKernelInfo kSse2 = {DesKernel::Sse2, "sse2", 128, 56, DesBlocksSse2, TripleDesCbcSse2};
constexpr DesKernelInfo kAvx2 = {DesKernel::Avx2, "avx2", 256, 50, DesBlocksAvx2, TripleDesCbcAvx2};
constexpr DesKernelInfo kAvx512 = {DesKernel::Avx512, "avx512", 512, 40, DesBlocksAvx512, TripleDesCbcAvx512};
#else  // not built: DesKernelRuns says no, and the tables stand in
constexpr DesKernelInfo kSse2 = {DesKernel::Sse2, "sse2", 128, 56, DesBlocksTable, TripleDesCbcTable};
constexpr DesKernelInfo kAvx2 = {DesKernel::Avx2, "avx2", 256, 50, DesBlocksTable, TripleDesCbcTable};
constexpr DesKernelInfo kAvx512 = {DesKernel::Avx512, "avx512", 512, 40, DesBlocksTable, TripleDesCbcTable};
#endif
static_assert(kSse2.tableBelow < kSse2.batchBlocks && kAvx2.tableBelow < kAvx2.batchBlocks &&
                  kAvx512.tableBelow < kAvx512.batchBlocks,
              "a whole batch always goes through its kernel");

const DesKernelInfo &ChooseFastest()
{
    if (DesKernelRuns(DesKernel::Avx512))
        return kAvx512;
    if (DesKernelRuns(DesKernel::Avx2))
        return kAvx2;
    if (DesKernelRuns(DesKernel::Sse2))
        return kSse2;
    return kTable;
}

// The blocks of a run that go through the kernel: the whole batches, and the
// last partial batch unless it is short.  The rest goes through the tables.
std::size_t BitslicedPart(const DesKernelInfo &kernel, std::size_t blocks)
{
    const std::size_t tail = blocks % kernel.batchBlocks;
    return tail >= kernel.tableBelow ? blocks : blocks - tail;
}

}  // namespace

bool DesKernelRuns(DesKernel kernel)
{
    switch (kernel) {
    case DesKernel::Table:
        return true;
#ifdef QM_DES_HAVE_BITSLICED
    case DesKernel::Sse2:
        return CpuHasSse2();
    case DesKernel::Avx2:
        return CpuHasAvx2();
    case DesKernel::Avx512:
        return CpuHasAvx512();
#endif
    default:
        return false;
    }
}

const DesKernelInfo &DesKernelFor(DesKernel kernel)
{
    switch (kernel) {
    case DesKernel::Sse2:
        return kSse2;
    case DesKernel::Avx2:
        return kAvx2;
    case DesKernel::Avx512:
        return kAvx512;
    default:
        return kTable;
    }
}

const DesKernelInfo &FastestDesKernel()
{
    static const DesKernelInfo &chosen = ChooseFastest();
    return chosen;
}

void DesBlocksThrough(const DesKernelInfo &kernel, std::uint8_t *data, std::size_t blocks,
                      const DesSchedule &schedule)
{
    const std::size_t bitsliced = BitslicedPart(kernel, blocks);
    if (bitsliced != 0)
        kernel.ecb(data, bitsliced, schedule);
    if (bitsliced != blocks)
        DesBlocksTable(data + 8 * bitsliced, blocks - bitsliced, schedule);
}

void TripleDesCbcThrough(const DesKernelInfo &kernel, std::uint8_t *data, std::size_t blocks, const DesSchedule &k1,
                         const DesSchedule &k2, std::uint8_t chaining[8])
{
    const std::size_t bitsliced = BitslicedPart(kernel, blocks);
    if (bitsliced != 0)
        kernel.tripleCbc(data, bitsliced, k1, k2, chaining);
    if (bitsliced != blocks)
        TripleDesCbcTable(data + 8 * bitsliced, blocks - bitsliced, k1, k2, chaining);
}

void DesBlocks(std::uint8_t *data, std::size_t blocks, const DesSchedule &schedule)
{
    DesBlocksThrough(FastestDesKernel(), data, blocks, schedule);
}

void TripleDesCbcDecipher(std::uint8_t *data, std::size_t blocks, const DesSchedule &k1, const DesSchedule &k2,
                          std::uint8_t chaining[8])
{
    TripleDesCbcThrough(FastestDesKernel(), data, blocks, k1, k2, chaining);
}

}  // namespace qm
