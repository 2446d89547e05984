// temp_name.h - the names of the temporary files that outputs are written to.
//
// An output is written to ~qmXXXXXXXX.tmp in the folder of its final name
// (eight hexadecimal digits), then renamed over the final name.  Folder and
// file name are in the library's form: backslashes, and a colon ends a drive.
// The digits need only make a clash unlikely: the file is created exclusively
// and another name is tried when one is taken.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace qm::platform {

// How many names a creation tries before it gives up: a clash is rare, so
// more than a few in a row means the folder refuses every new file.
constexpr int kTempNameTries = 64;

// The folder part of a path: everything up to its last backslash or colon
// ("" for a bare name, which lives in the current folder).
inline std::string_view FolderOf(std::string_view path)
{
    const std::size_t end = path.find_last_of("\\:");
    return end == std::string_view::npos ? std::string_view{} : path.substr(0, end + 1);
}

// The try-th candidate name in the folder of `beside`.  The digits mix the
// clock, the try and an address of this call (which differs between threads),
// through the finaliser of splitmix64.
inline std::string TempNameBeside(std::string_view beside, int attempt)
{
    std::uint64_t x = static_cast<std::uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
    x ^= static_cast<std::uint64_t>(attempt) * 0x9E3779B97F4A7C15ULL;
    x ^= static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&beside)) << 16;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    x ^= x >> 31;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string name(FolderOf(beside));
    name += "~qm";
    for (int shift = 28; shift >= 0; shift -= 4)
        name += kHex[(x >> shift) & 0xF];
    name += ".tmp";
    return name;
}

}  // namespace qm::platform
