// statistics.h - the archive statistics record.
//
// The record is what GetExtraInfoArc copies out: four leading constants
// (20, 3, 2, 256), the entry count and the packed and unpacked totals of the
// last public list build, and the packed total in percent of the unpacked
// total.  Opening a session with InitArcFile clears it; every BuildArcFileList
// that gets as far as its statistics rewrites it.
#pragma once

#include <cstdint>

#include "quillmark.h"

namespace qm {

void ClearArcStatistics(ArcExtraInfo &statistics);

// Refills the record from the whole list, from its first record.
void FillArcStatistics(ArcExtraInfo &statistics, const ArcFileList *list);

// The packed total in percent of the unpacked total: both are halved until
// the packed total is below 20,971,520, so that the product by 100 cannot
// overflow; 0 when the unpacked total is 0.
std::int32_t CompressionRatio(std::int64_t packed, std::int64_t unpacked);

}  // namespace qm
