// cpu_features.h - what the processor offers beyond the build's baseline.
//
// The library is built for the plain instruction set of its target (i686 for
// the 32-bit DLL); faster paths compiled for wider instruction sets are only
// entered when the processor reports them at run time.
#pragma once

namespace qm {

// True when the processor has carry-less multiplication (PCLMULQDQ) together
// with SSE2, the set the folding CRC path is compiled for.  The
// answer is computed once and cached.
bool CpuHasCarrylessMultiply();

// True when the processor also multiplies two lanes at once in 256-bit
// registers (VPCLMULQDQ with AVX2) and the operating system saves the YMM
// state.  Cached like the above.
bool CpuHasWideCarrylessMultiply();

// The vector sets the bitsliced DES kernels are compiled for: SSE2 (always
// there on x86-64), AVX2 with the YMM state saved, and AVX-512 Foundation
// with the ZMM and mask-register state saved.  Each cached like the above.
bool CpuHasSse2();
bool CpuHasAvx2();
bool CpuHasAvx512();

// True when the processor has BMI2 (shifts by a register count in one
// instruction, leaf 7 EBX bit 8; no register state of its own), the set the
// decoder's fast loop has a second build for.  Cached like the above.
bool CpuHasBmi2();

}  // namespace qm
