// json_listing.cpp - writing the listing as JSON.
#include "quill/json_listing.h"

#include <cstdio>

#include "quill/codepage.h"
#include "quill/listing_format.h"

namespace quill {

std::string JsonString(const std::string &utf8)
{
    std::string out = "\"";
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::optional<std::string> IsoDateTime(uint32_t dosDateTime)
{
    const unsigned date = dosDateTime >> 16;
    const unsigned time = dosDateTime & 0xFFFF;
    const unsigned year = 1980 + (date >> 9), month = (date >> 5) & 0x0F, day = date & 0x1F;
    const unsigned hour = time >> 11, minute = (time >> 5) & 0x3F, second = (time & 0x1F) * 2;
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    if (day > kDays[month - 1] + (month == 2 && leap ? 1 : 0))
        return std::nullopt;
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u", year, month, day, hour,
                  minute, second);
    return text;
}

namespace {

const char *CipherName(int32_t method)
{
    switch (method) {
    case QM_CIPHER_NONE:
        return "none";
    case QM_CIPHER_DES:
        return "des";
    case QM_CIPHER_TRIPLE_DES:
        return "3des";
    case QM_CIPHER_CHAINING_ONLY:
        return "chaining";
    default:
        return "unknown";
    }
}

}  // namespace

void WriteJsonListing(std::ostream &out, const std::string &archiveShown,
                      const std::vector<Entry> &entries, const ArcExtraInfo &statistics)
{
    out << "{\"archive\": " << JsonString(archiveShown) << ",\n \"entries\": [";
    const char *separator = "\n  ";
    for (const Entry &e : entries) {
        const auto modified = IsoDateTime(e.dosDateTime);
        out << separator << "{\"name\": " << JsonString(Utf8FromLibraryText(e.name))
            << ", \"size\": " << e.unpackedSize << ", \"packedSize\": " << e.packedSize
            << ", \"ratio\": " << Ratio(e.packedSize, e.unpackedSize)
            << ", \"modified\": " << (modified ? JsonString(*modified) : "null")
            << ", \"attributes\": " << JsonString(FormatAttributes(e.attributes))
            << ", \"attributeBits\": " << e.attributes
            << ", \"enciphered\": " << (e.cipherMethod != QM_CIPHER_NONE ? "true" : "false")
            << ", \"cipher\": " << JsonString(CipherName(e.cipherMethod)) << "}";
        separator = ",\n  ";
    }
    out << (entries.empty() ? "" : "\n ") << "],\n \"statistics\": {\"entries\": "
        << statistics.entryCount << ", \"size\": " << statistics.totalUnpacked
        << ", \"packedSize\": " << statistics.totalPacked << ", \"ratio\": " << statistics.ratio
        << "}}\n";
}

}  // namespace quill
