// cpu_features.cpp - asks CPUID, on x86 and x86-64 with GCC or Clang.
//
// Leaf 1 reports SSE2 in EDX bit 26 and PCLMULQDQ in ECX bit 1.  Neither needs
// operating-system support beyond the XMM state that every system running
// this library saves.  The 256-bit forms need more: leaf 7 reports AVX2 in
// EBX bit 5 and VPCLMULQDQ in ECX bit 10, and the operating system must save
// the YMM registers, which leaf 1 ECX bit 27 (OSXSAVE) and bits 1 and 2 of
// XCR0 tell.  AVX-512 Foundation is leaf 7 EBX bit 16, and its registers need
// bits 5 to 7 of XCR0 as well (mask registers and both halves of the ZMM
// file).  BMI2 is leaf 7 EBX bit 8 and needs no state of its own.  On other
// processors or compilers the answer is false and the portable paths run.
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

#ifdef QM_HAVE_CPUID
// The state components the operating system saves (XCR0), or 0 when the
// processor has no XGETBV or the system does not enable it.
unsigned SavedVectorState()
{
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return 0;
    const bool osxsave = (ecx >> 27) & 1;
    if (!osxsave)
        return 0;
    unsigned xcr0Low = 0, xcr0High = 0;
    __asm__ volatile("xgetbv" : "=a"(xcr0Low), "=d"(xcr0High) : "c"(0));
    (void)xcr0High;
    return xcr0Low;
}

// Leaf 7's EBX, or 0 where there is no leaf 7.
unsigned ExtendedFeatures()
{
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx))
        return 0;
    return ebx;
}
#endif

bool AskSse2()
{
#if defined(__x86_64__)
    return true;
#elif defined(QM_HAVE_CPUID)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && ((edx >> 26) & 1);
#else
    return false;
#endif
}

bool AskAvx2()
{
#ifdef QM_HAVE_CPUID
    constexpr unsigned kYmmState = 0x6;  // XMM and YMM
    return (SavedVectorState() & kYmmState) == kYmmState && ((ExtendedFeatures() >> 5) & 1);
#else
    return false;
#endif
}

bool AskAvx512()
{
#ifdef QM_HAVE_CPUID
    constexpr unsigned kZmmState = 0xE6;  // XMM, YMM, mask registers, ZMM 0-15 upper halves, ZMM 16-31
    return (SavedVectorState() & kZmmState) == kZmmState && ((ExtendedFeatures() >> 16) & 1);
#else
    return false;
#endif
}

bool AskBmi2()
{
#ifdef QM_HAVE_CPUID
    return (ExtendedFeatures() >> 8) & 1;
#else
    return false;
#endif
}

bool AskCpuWide()
{
#ifdef QM_HAVE_CPUID
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!AskCpu() || !__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return false;
    const bool osxsave = (ecx >> 27) & 1;
    const bool avx = (ecx >> 28) & 1;
    if (!osxsave || !avx)
        return false;
    unsigned xcr0Low = 0, xcr0High = 0;
    __asm__ volatile("xgetbv" : "=a"(xcr0Low), "=d"(xcr0High) : "c"(0));
    (void)xcr0High;
    if ((xcr0Low & 6u) != 6u)  // XMM and YMM state
        return false;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx))
        return false;
    const bool avx2 = (ebx >> 5) & 1;
    const bool vpclmulqdq = (ecx >> 10) & 1;
    return avx2 && vpclmulqdq;
#else
    return false;
#endif
}

}  // namespace

bool CpuHasWideCarrylessMultiply()
{
    static const bool has = AskCpuWide();
    return has;
}

bool CpuHasCarrylessMultiply()
{
    static const bool has = AskCpu();
    return has;
}

bool CpuHasSse2()
{
    static const bool has = AskSse2();
    return has;
}

bool CpuHasAvx2()
{
    static const bool has = AskAvx2();
    return has;
}

bool CpuHasAvx512()
{
    static const bool has = AskAvx512();
    return has;
}

bool CpuHasBmi2()
{
    static const bool has = AskBmi2();
    return has;
}

}  // namespace qm
