// listing_format.h - how quill shows an entry's fields.
#pragma once

#include <cstdint>
#include <string>

namespace quill {

// A DOS date/time (date in the high 16 bits, time in the low 16) as
// "YYYY-MM-DD hh:mm:ss".  The fields are shown as stored, even when they
// name no real day.
std::string FormatDosDateTime(uint32_t dosDateTime);

// The Windows attribute bits as five columns: R H S D A, '.' for a bit that
// is not set.
std::string FormatAttributes(uint32_t attributes);

// Packed size in percent of the unpacked size, as the library reckons its
// totals; 0 for an empty entry.
int32_t Ratio(int64_t packed, int64_t unpacked);

}  // namespace quill
