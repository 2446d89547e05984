// unpack_fuzz.cpp - libFuzzer target for the stream decoder.
//
// The first four input bytes are the unpacked size (little-endian, taken
// modulo 4 MiB), the rest is the packed stream.  The decoder must end, write
// at most the unpacked size and stay inside its buffers.
//
// Build (clang):
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined \
//     -Iinclude -Isrc -DQUILLMARK_BUILDING fuzz/unpack_fuzz.cpp \
//     src/unpack/*.cpp src/extract/pipeline.cpp src/crypto/*.cpp src/api/*.cpp src/state/*.cpp \
//     src/container/*.cpp src/paths/*.cpp src/platform/posix/*.cpp -o unpack_fuzz
//   ./unpack_fuzz -max_len=20000
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "state/status.h"
#include "container/session.h"
#include "crypto/crc32.h"
#include "extract/pipeline.h"
#include "unpack/tables.h"
#include "unpack/unpack.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 4)
        return 0;
    static std::vector<std::uint8_t> window(qm::kWindowSize);
    static const std::string dir = [] {
        std::string d = "/tmp/quillmark-fuzz-" + std::to_string(getpid());
        std::system(("mkdir -p " + d).c_str());
        return d;
    }();
    const std::string in = dir + "/in.bin", out = dir + "/out.bin";
    std::FILE *f = std::fopen(in.c_str(), "wb");
    std::fwrite(data + 4, 1, size - 4, f);
    std::fclose(f);

    const std::int32_t unpacked =
        static_cast<std::int32_t>((data[0] | data[1] << 8 | data[2] << 16 | std::uint32_t{data[3]} << 24) %
                                  (4u << 20));
    qm::BuildCrc32Table();
    qm::ArchiveStatus = 0;
    qm::CarrierStream = qm::platform::OpenForRead(in.c_str());
    qm::OutputStream = qm::platform::OpenForWrite(out.c_str());
    qm::PackedLeft = static_cast<std::uint32_t>(size - 4);
    qm::UnpackedLeft = qm::ProgressTotal = unpacked;
    qm::DataCrc = 0xFFFFFFFFu;
    qm::ActiveCipher = -1;
    qm::ReadIvFirst = false;
    qm::UnpackStream(window.data());
    qm::platform::Close(qm::CarrierStream);
    qm::platform::Close(qm::OutputStream);
    qm::CarrierStream = qm::OutputStream = nullptr;

    f = std::fopen(out.c_str(), "rb");
    std::fseek(f, 0, SEEK_END);
    const long written = std::ftell(f);
    std::fclose(f);
    if (written != unpacked)
        std::abort();
    return 0;
}
