// listing_format.cpp - entry fields for the listing.
#include "quill/listing_format.h"

#include <cstdio>

namespace quill {

std::string FormatDosDateTime(uint32_t dosDateTime)
{
    const unsigned date = dosDateTime >> 16;
    const unsigned time = dosDateTime & 0xFFFF;
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", 1980 + (date >> 9),
                  (date >> 5) & 0x0F, date & 0x1F, time >> 11, (time >> 5) & 0x3F,
                  (time & 0x1F) * 2);
    return text;
}

std::string FormatAttributes(uint32_t attributes)
{
    static constexpr struct {
        uint32_t bit;
        char letter;
    } kColumns[] = {{0x01, 'R'}, {0x02, 'H'}, {0x04, 'S'}, {0x10, 'D'}, {0x20, 'A'}};
    std::string text;
    for (const auto &column : kColumns)
        text += (attributes & column.bit) ? column.letter : '.';
    return text;
}

int32_t Ratio(int64_t packed, int64_t unpacked)
{
    if (unpacked <= 0)
        return 0;
    return static_cast<int32_t>(packed * 100 / unpacked);
}

}  // namespace quill
