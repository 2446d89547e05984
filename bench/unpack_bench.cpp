// unpack_bench.cpp - decoding speed of the stream decoder against zlib's
// inflate and the unar program, on the same 64 MiB of mixed text and binary.
//
// Our figure is UnpackStream as the library runs it: reading the stream
// through the pipeline, decoding into the 1 MiB window, the data CRC-32 and
// the writes (to /dev/null).  zlib inflates the same data compressed at
// level 6 into memory (plain, and with zlib's crc32 over the output).  unar
// decodes our stream wrapped in a RAR archive, writing to stdout into
// /dev/null; its time includes starting the process.
//
// Usage: unpack_bench [MiB]   (default 64)
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "state/status.h"
#include "container/session.h"
#include "crypto/crc32.h"
#include "encoder_inputs.h"
#include "extract/pipeline.h"
#include "native/rar_wrap.h"
#include "packer/encoder.h"
#include "unpack/tables.h"
#include "unpack/unpack.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

double MBps(std::size_t bytes, double seconds) { return bytes / 1e6 / seconds; }

constexpr int kRuns = 3;

}  // namespace

int main(int argc, char **argv)
{
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const std::size_t size = mib << 20;
    const std::string dir = "/tmp/quillmark-unpack-bench-" + std::to_string(getpid());
    std::system(("mkdir -p " + dir).c_str());

    const qmpack::Bytes data = qmtest::MixedBytes(size, 12345);
    auto t0 = Clock::now();
    const qmpack::Bytes stream = qmpack::EncodeLz(data);
    auto t1 = Clock::now();
    const std::uint32_t crc = qmpack::Crc32(data);
    std::printf("input: %zu MiB of mixed text and binary\n", mib);
    std::printf("our stream: %.1f MiB (%.1f%%), encoded in %.1f s\n", stream.size() / 1048576.0,
                100.0 * stream.size() / size, Seconds(t0, t1));

    // ---- quillmark ----
    const std::string streamPath = dir + "/stream.bin";
    qmpack::WriteFile(streamPath, stream);
    std::vector<std::uint8_t> window(qm::kWindowSize);
    qm::BuildCrc32Table();
    double best = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        qm::ArchiveStatus = 0;
        qm::CarrierStream = qm::platform::OpenForRead(streamPath.c_str());
        qm::OutputStream = qm::platform::OpenForWrite("/dev/null");
        qm::PackedLeft = static_cast<std::uint32_t>(stream.size());
        qm::UnpackedLeft = qm::ProgressTotal = static_cast<std::int32_t>(size);
        qm::DataCrc = 0xFFFFFFFFu;
        qm::ActiveCipher = -1;
        qm::ReadIvFirst = false;
        t0 = Clock::now();
        qm::UnpackStream(window.data());
        t1 = Clock::now();
        qm::platform::Close(qm::CarrierStream);
        qm::platform::Close(qm::OutputStream);
        if (~qm::DataCrc != crc || qm::ArchiveStatus != 0) {
            std::fprintf(stderr, "quillmark: wrong CRC or status %u\n", qm::ArchiveStatus);
            return 1;
        }
        best = std::min(best, Seconds(t0, t1));
    }
    const double ours = MBps(size, best);
    std::printf("quillmark UnpackStream (with CRC-32 and writes): %8.1f MB/s\n", ours);
    // The data CRC alone over the same bytes: how much of our time it takes.
    double bestCrc = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        t0 = Clock::now();
        const std::uint32_t c = ~qm::Crc32Data(0xFFFFFFFFu, data.data(), static_cast<std::int32_t>(size));
        t1 = Clock::now();
        if (c != crc)
            return 1;
        bestCrc = std::min(bestCrc, Seconds(t0, t1));
    }
    std::printf("  of which qm::Crc32Data alone:                  %8.1f MB/s\n", MBps(size, bestCrc));
    std::printf("  decoding without the CRC (difference):         %8.1f MB/s\n",
                best > bestCrc ? MBps(size, best - bestCrc) : 0.0);

    // ---- zlib ----
    uLongf zsize = compressBound(static_cast<uLong>(size));
    std::vector<Bytef> z(zsize);
    if (compress2(z.data(), &zsize, data.data(), static_cast<uLong>(size), 6) != Z_OK)
        return 1;
    std::printf("zlib level 6: %.1f MiB (%.1f%%)\n", zsize / 1048576.0, 100.0 * zsize / size);
    std::vector<Bytef> out(size);
    double bestInflate = 1e9, bestInflateCrc = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        uLongf outSize = static_cast<uLongf>(size);
        t0 = Clock::now();
        if (uncompress(out.data(), &outSize, z.data(), zsize) != Z_OK || outSize != size)
            return 1;
        t1 = Clock::now();
        const uLong c = crc32(0L, out.data(), static_cast<uInt>(size));
        const auto t2 = Clock::now();
        if (c != crc)
            return 1;
        bestInflate = std::min(bestInflate, Seconds(t0, t1));
        bestInflateCrc = std::min(bestInflateCrc, Seconds(t0, t2));
    }
    const double inflate = MBps(size, bestInflate);
    const double inflateCrc = MBps(size, bestInflateCrc);
    std::printf("zlib inflate:                                    %8.1f MB/s\n", inflate);
    std::printf("zlib inflate + crc32:                            %8.1f MB/s\n", inflateCrc);

    // ---- unar ----
    const std::string archive = dir + "/bench.rar";
    qmpack::WriteFile(archive, qmtest::WrapRar(stream, static_cast<std::uint32_t>(size), crc, "bench.bin"));
    double bestUnar = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        t0 = Clock::now();
        const int rc = std::system(("unar -q -o - '" + archive + "' > /dev/null").c_str());
        t1 = Clock::now();
        if (rc != 0) {
            std::fprintf(stderr, "unar failed\n");
            return 1;
        }
        bestUnar = std::min(bestUnar, Seconds(t0, t1));
    }
    const double unar = MBps(size, bestUnar);
    std::printf("unar (whole process, to /dev/null):              %8.1f MB/s\n", unar);

    std::printf("ratio quillmark / inflate:        %.2f\n", ours / inflate);
    std::printf("ratio quillmark / inflate+crc32:  %.2f\n", ours / inflateCrc);
    std::printf("ratio quillmark / unar:           %.2f\n", ours / unar);
    std::system(("rm -rf " + dir).c_str());
    return 0;
}
