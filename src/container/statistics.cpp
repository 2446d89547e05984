// statistics.cpp - the statistics record and its compression ratio.
#include "container/statistics.h"

#include <cstring>

namespace qm {

namespace {

// Below this packed total, total * 100 fits easily in 64 bits.
constexpr std::int64_t kRatioHalvingBound = 0x1400000;  // 20,971,520

}  // namespace

void ClearArcStatistics(ArcExtraInfo &statistics) { std::memset(&statistics, 0, sizeof statistics); }

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

void FillArcStatistics(ArcExtraInfo &statistics, const ArcFileList *list)
{
    ClearArcStatistics(statistics);
    statistics.constant20 = 20;
    statistics.constant3 = 3;
    statistics.constant2 = 2;
    statistics.constant256 = 256;
    statistics.entryCount = list->count;
    std::int64_t packed = 0;
    std::int64_t unpacked = 0;
    for (const ArcFileItem *item = list->first; item; item = item->next) {
        packed += item->packedSize;
        unpacked += item->unpackedSize;
    }
    statistics.totalPacked = packed;
    statistics.totalUnpacked = unpacked;
    statistics.ratio = CompressionRatio(packed, unpacked);
}

}  // namespace qm
