// des.h - the DES block cipher, single and two-key triple (EDE).
//
// A block is 8 bytes; byte 0 holds the most significant 8 bits of the 64-bit
// DES block.  A key is 8 bytes taken most significant bit of byte 0 first;
// the low bit of each key byte (the parity bit) is ignored and never checked.
//
// A schedule holds the 16 round keys in the order the rounds use them:
// encryption order enciphers, decryption order (the same keys last to first)
// deciphers.  Each 48-bit round key is kept twice: as eight 6-bit groups,
// spread over two words so that each group lines up with the bits of the half
// block it is XORed with (see des.cpp), and as one whole word per bit for the
// bitsliced paths (des_bitslice_engine.h).
//
// Runs of many blocks (DesBlocks, TripleDesCbcDecipher) go through the
// fastest bitsliced kernel the processor has, short runs and short tails
// through the table-driven code (des_kernels.h).
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm {

struct DesSchedule {
    // Round n uses words 2n (S-boxes 1, 3, 5, 7) and 2n + 1 (S-boxes 2, 4, 6, 8).
    std::uint32_t words[32];
    // Bit i (0..47, in the order of permuted choice 2, so S-box j takes bits
    // 6j .. 6j + 5) of round n's key: all ones or all zeros.
    std::uint32_t keyBits[16][48];
};

enum class DesDirection { Encrypt, Decrypt };

// Builds the 16 round keys of an 8-byte key in the given order.
void BuildDesSchedule(const std::uint8_t key[8], DesDirection direction, DesSchedule &schedule);

// Runs one block through the 16 rounds of the schedule, in place (through
// the tables).
void DesBlock(std::uint8_t block[8], const DesSchedule &schedule);

// Runs `blocks` consecutive blocks each on its own through the schedule, in
// place (electronic code book): the same result as DesBlock on each block.
void DesBlocks(std::uint8_t *data, std::size_t blocks, const DesSchedule &schedule);

// Deciphers `blocks` consecutive blocks of two-key triple DES in CBC mode, in
// place: each block goes through `k1` (decryption order), `k2` (encryption
// order) and `k1` again, and is then XORed with the chaining value, which
// becomes the enciphered block.  The chaining value carries over between
// calls, so a stream may be deciphered in any number of pieces.
void TripleDesCbcDecipher(std::uint8_t *data, std::size_t blocks, const DesSchedule &k1,
                          const DesSchedule &k2, std::uint8_t chaining[8]);

}  // namespace qm
