// statistics.cpp - the statistics record and its compression ratio.
#include "container/statistics.h"

#include <cstring>

namespace qm {

ArcExtraInfo ArcStatistics;

namespace {

// Below this packed total, total * 100 fits easily in 64 bits.
constexpr std::int64_t kRatioHalvingBound = 0x1400000;  // 20,971,520

}  // namespace

void ClearArcStatistics() { std::memset(&ArcStatistics, 0, sizeof ArcStatistics); }

std::int32_t CompressionRatio(std::int64_t packed, std::int64_t unpacked)
{
    while (packed >= kRatioHalvingBound) {
        packed >>= 1;
        unpacked >>= 1;
    }
    if (unpacked == 0)
        return 0;
    return static_cast<std::int32_t>((packed * 100) / unpacked);
}

void FillArcStatistics(const ArcFileList *list)
{
    ClearArcStatistics();
    ArcStatistics.constant20 = 20;
    ArcStatistics.constant3 = 3;
    ArcStatistics.constant2 = 2;
    ArcStatistics.constant256 = 256;
    ArcStatistics.entryCount = list->count;
    std::int64_t packed = 0;
    std::int64_t unpacked = 0;
    for (const ArcFileItem *item = list->first; item; item = item->next) {
        packed += item->packedSize;
        unpacked += item->unpackedSize;
    }
    ArcStatistics.totalPacked = packed;
    ArcStatistics.totalUnpacked = unpacked;
    ArcStatistics.ratio = CompressionRatio(packed, unpacked);
}

}  // namespace qm
