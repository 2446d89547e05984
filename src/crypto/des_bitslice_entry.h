// des_bitslice_entry.h - what every bitsliced kernel file shares around its
// word operations: the forced inlining of those operations, and the entry
// points' stack realignment.
//
// 32-bit Windows keeps the stack aligned to 4 bytes only; the entry points
// realign it for the 16-, 32- or 64-byte values the kernel's instructions
// take from memory and the compiler may spill.
#pragma once

#define QM_DES_INLINE inline __attribute__((always_inline))
#ifdef __i386__
#define QM_DES_ENTRY [[gnu::force_align_arg_pointer]]
#else
#define QM_DES_ENTRY
#endif
