// signature_probe.cpp - finding the signature record's flags word.
#include "quill/signature_probe.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace quill {

namespace {

constexpr std::size_t kSearchWindow = 81920;
constexpr std::size_t kRecordBytesRead = 22;  // string, format, magic, flags

uint32_t Load32(const unsigned char *p)
{
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

std::optional<bool> SignatureSaysHeadersEnciphered(const std::string &path)
{
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        return std::nullopt;
    std::vector<unsigned char> bytes(kSearchWindow);
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    for (std::size_t i = 0; i + kRecordBytesRead <= got; ++i) {
        const unsigned char *p = bytes.data() + i;
        if (std::memcmp(p, "Quillmark!", 10) == 0 && Load32(p + 10) == 0x1541524E &&
            Load32(p + 14) == 77)
            return (Load32(p + 18) & 1) != 0;
    }
    return std::nullopt;
}

}  // namespace quill
