// des_kernels.h - the ways DES runs over many independent blocks, and how a
// run is shared between them.
//
// The table-driven code (des.cpp) runs anywhere and costs the same per
// block.  The bitsliced kernels (des_bitslice_*.cpp) run a whole batch of
// 128, 256 or 512 blocks in one pass whose cost does not depend on how many
// of the blocks are real: far faster per block on long runs, slower on a
// handful.  So a run goes through the fastest kernel the processor has in
// whole batches, and its last partial batch either through the kernel too
// (padded) or, when it is short, through the tables; runs shorter than that
// go through the tables whole.
//
// DesBlocks and TripleDesCbcDecipher (des.h) run with the fastest kernel,
// chosen once at the first call.  The tests reach every kernel through
// DesKernelFor and the *Through functions, or call a kernel's functions
// directly to run every length through its padded batch.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/des.h"

// The bitsliced kernels are built for x86 with GCC or Clang; elsewhere they
// are not built and never chosen.
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__i386__) || defined(__x86_64__))
#define QM_DES_HAVE_BITSLICED 1
#endif

namespace qm {

enum class DesKernel { Table, Sse2, Avx2, Avx512 };

struct DesKernelInfo {
    DesKernel kernel;
    const char *name;
    // Blocks per pass: 1 for the tables.
    std::size_t batchBlocks;
    // A partial batch of fewer blocks (and a run of fewer) costs less
    // through the tables.
    std::size_t tableBelow;
    // The contracts of DesBlocks and TripleDesCbcDecipher, every block
    // through this kernel (a last partial batch padded).
    void (*ecb)(std::uint8_t *data, std::size_t blocks, const DesSchedule &schedule);
    void (*tripleCbc)(std::uint8_t *data, std::size_t blocks, const DesSchedule &k1, const DesSchedule &k2,
                      std::uint8_t chaining[8]);
};

// Whether this build has the kernel and the processor runs it.
bool DesKernelRuns(DesKernel kernel);

// The kernel's description; only to be run when DesKernelRuns says so.
const DesKernelInfo &DesKernelFor(DesKernel kernel);

// The fastest kernel the processor runs: chosen at the first call, once,
// whichever thread makes it.
const DesKernelInfo &FastestDesKernel();

// DesBlocks and TripleDesCbcDecipher through the given kernel: whole batches
// through it, a short tail (or a short run) through the tables.
void DesBlocksThrough(const DesKernelInfo &kernel, std::uint8_t *data, std::size_t blocks,
                      const DesSchedule &schedule);
void TripleDesCbcThrough(const DesKernelInfo &kernel, std::uint8_t *data, std::size_t blocks, const DesSchedule &k1,
                         const DesSchedule &k2, std::uint8_t chaining[8]);

// ---- the kernels --------------------------------------------------------------

// Through the tables (des.cpp), any processor.
void DesBlocksTable(std::uint8_t *data, std::size_t blocks, const DesSchedule &schedule);
void TripleDesCbcTable(std::uint8_t *data, std::size_t blocks, const DesSchedule &k1, const DesSchedule &k2,
                       std::uint8_t chaining[8]);

// Bitsliced, 128 blocks a pass (SSE2), 256 (AVX2) and 512 (AVX-512).  Only
// built with QM_DES_HAVE_BITSLICED, only to be called when DesKernelRuns
// says so.
void DesBlocksSse2(std::uint8_t *data, std::size_t blocks, const DesSchedule &schedule);
void TripleDesCbcSse2(std::uint8_t *data, std::size_t blocks, const DesSchedule &k1, const DesSchedule &k2,
                      std::uint8_t chaining[8]);
void DesBlocksAvx2(std::uint8_t *data, std::size_t blocks, const DesSchedule &schedule);
void TripleDesCbcAvx2(std::uint8_t *data, std::size_t blocks, const DesSchedule &k1, const DesSchedule &k2,
                      std::uint8_t chaining[8]);
void DesBlocksAvx512(std::uint8_t *data, std::size_t blocks, const DesSchedule &schedule);
void TripleDesCbcAvx512(std::uint8_t *data, std::size_t blocks, const DesSchedule &k1, const DesSchedule &k2,
                        std::uint8_t chaining[8]);

}  // namespace qm
