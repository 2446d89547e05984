// crc32.h - CRC-32 of IEEE 802.3, reflected (polynomial 0xEDB88320).
//
// Two forms give identical results.  Crc32 uses a constant table and serves
// header blocks; Crc32Data uses a table in writable storage that
// BuildCrc32Table fills at the start of every extraction run, and serves
// entry data.  Neither applies the customary complements: callers start from
// 0xFFFFFFFF and complement the result themselves.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm {

// The running value is returned unchanged for a length of 0 or a null pointer.
std::uint32_t Crc32(std::uint32_t value, const void *data, std::uint16_t length);

// The running value is returned unchanged for a length below 1.
std::uint32_t Crc32Data(std::uint32_t value, const void *data, std::int32_t length);

// The data form for callers that share nothing: constant tables and a
// folding path chosen once, safe from any number of threads at once.  Gives
// the same results as Crc32Data.
std::uint32_t Crc32Update(std::uint32_t value, const void *data, std::size_t length);

// Fills the data table and chooses how Crc32Data folds: by carry-less
// multiplication where the processor has it, else through slice tables.
void BuildCrc32Table();

// Lets the next BuildCrc32Table choose carry-less multiplication (the
// default) or not; tests use it to reach the portable path through Crc32Data.
void SetDataCrcFolding(bool allowed);

// The data table: zero until BuildCrc32Table has run.
extern std::uint32_t DataCrcTable[256];

}  // namespace qm
