// cpu_features.cpp - asks CPUID, on x86 and x86-64 with GCC or Clang.
//
// Leaf 1 reports SSE2 in EDX bit 26 and PCLMULQDQ in ECX bit 1.  Neither needs
// operating-system support beyond the XMM state that every system running
// this library saves.  On other processors or compilers the answer is false
// and the portable paths run.
#include "crypto/cpu_features.h"

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__i386__) || defined(__x86_64__))
#include <cpuid.h>
#define QM_HAVE_CPUID 1
#endif

namespace qm {

namespace {

bool AskCpu()
{
#ifdef QM_HAVE_CPUID
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return false;
    const bool sse2 = (edx >> 26) & 1;
    const bool pclmul = (ecx >> 1) & 1;
    return sse2 && pclmul;
#else
    return false;
#endif
}

}  // namespace

bool CpuHasCarrylessMultiply()
{
    static const bool has = AskCpu();
    return has;
}

}  // namespace qm
