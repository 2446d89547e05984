// unpack_bench.cpp - decoding speed of the stream decoder against zlib's
// inflate and the unar program, on the same 64 MiB of mixed text and binary.
//
// Our figure is UnpackStream as the library runs it: reading the stream
// through the pipeline, decoding into the 1 MiB window, the data CRC-32 and
// the writes (to /dev/null).  Decoding alone is the decoder object by itself,
// memory to memory: the stream from memory, the bytes left in the window.  zlib inflates the same data compressed at
// level 6 into memory (plain, and with zlib's crc32 over the output), and so
// does libdeflate (plain, and with libdeflate's crc32).  unar
// decodes our stream wrapped in a RAR archive, writing to stdout into
// /dev/null; its time includes starting the process.
//
// A second input tries audio mode: 16-bit stereo PCM (tones with a little
// noise) coded with 4 channels, ours against unar on the same stream.
//
// Usage: unpack_bench [MiB] [audio MiB]   (defaults 64 and 32; 0 skips one)
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <memory>
#include <vector>

#include "extract/export_session.h"
#include "crypto/crc32.h"
#include "audio_inputs.h"
#include "encoder_inputs.h"
#include "extract/pipeline.h"
#include "native/rar_wrap.h"
#include "packer/encoder.h"
#include "unpack/tables.h"
#include "unpack/stream_decoder.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

double MBps(std::size_t bytes, double seconds) { return bytes / 1e6 / seconds; }

constexpr int kRuns = 3;

// CPU time of this thread, and of the finished child processes: on a shared
// machine these move less than wall time when other work competes.
double ThreadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double ChildrenCpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_CHILDREN, &ru);
    auto sec = [](const timeval &tv) { return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6; };
    return sec(ru.ru_utime) + sec(ru.ru_stime);
}

struct Timing {
    double wall = 1e9;  // best of the runs
    double cpu = 1e9;
};

// Best times of UnpackStream over the stream in file streamPath, as the
// library runs it (pipeline, CRC, writes to /dev/null); negative on a wrong
// result.
Timing TimeUnpackStream(const std::string &streamPath, std::size_t packed, std::size_t size,
                        std::uint32_t crc, int runs = kRuns)
{
    std::vector<std::uint8_t> window(qm::kWindowSize);
    // The exports' path as they run it, in a session of the bench's own.
    const auto session = std::make_unique<qm::ExportSession>();
    qm::ExportSession &s = *session;
    Timing best;
    for (int run = 0; run < runs; ++run) {
        s.status = 0;
        s.carrier = qm::platform::OpenForRead(streamPath.c_str());
        s.transfer.output = qm::platform::OpenForWrite("/dev/null");
        s.transfer.packedLeft = static_cast<std::uint32_t>(packed);
        s.transfer.unpackedLeft = s.transfer.progressTotal = static_cast<std::int32_t>(size);
        s.transfer.dataCrc = 0xFFFFFFFFu;
        s.transfer.activeCipher = -1;
        s.transfer.readIvFirst = false;
        const double c0 = ThreadCpuSeconds();
        const auto t0 = Clock::now();
        qm::UnpackStream(s, window.data());
        const auto t1 = Clock::now();
        const double c1 = ThreadCpuSeconds();
        qm::platform::Close(s.carrier);
        qm::platform::Close(s.transfer.output);
        if (~s.transfer.dataCrc != crc || s.status != 0) {
            std::fprintf(stderr, "quillmark: wrong CRC or status %u\n", s.status);
            return {-1, -1};
        }
        best.wall = std::min(best.wall, Seconds(t0, t1));
        best.cpu = std::min(best.cpu, c1 - c0);
    }
    return best;
}

// The packed stream from memory, as a decoder's source.
class MemorySource final : public qm::PackedSource {
public:
    MemorySource(const std::uint8_t *data, std::size_t size) : data_(data), left_(size) {}
    std::uint32_t ReadPacked(std::uint8_t *buffer, std::uint32_t count) override
    {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(count, left_));
        std::memcpy(buffer, data_, n);
        data_ += n;
        left_ -= n;
        return n;
    }

private:
    const std::uint8_t *data_;
    std::size_t left_;
};

// Best time of the decoder object alone, memory to memory: the packed stream
// from memory, the bytes left in the window (taken without a copy or a CRC).
// A first, untimed run checks the output's CRC.  Negative on a wrong result.
double TimeDecoderAlone(const qmpack::Bytes &stream, std::size_t size, std::uint32_t crc)
{
    std::vector<std::uint8_t> window(qm::kWindowSize);
    const auto decoder = std::make_unique<qm::StreamDecoder>();
    double best = 1e9;
    for (int run = 0; run <= kRuns; ++run) {
        const bool check = run == 0;
        std::uint32_t c = 0xFFFFFFFFu;
        auto take = [&] {
            if (check) {
                const qm::PendingBytes p = decoder->Pending();
                c = qm::Crc32Data(c, p.first, static_cast<std::int32_t>(p.firstSize));
                if (p.secondSize)
                    c = qm::Crc32Data(c, p.second, static_cast<std::int32_t>(p.secondSize));
            }
            decoder->Delivered();
        };
        MemorySource source(stream.data(), stream.size());
        const auto t0 = Clock::now();
        decoder->Start(&source, window.data(), static_cast<std::int32_t>(size));
        while (!decoder->Decode())
            take();
        take();
        const auto t1 = Clock::now();
        if (check && (~c != crc || decoder->done != static_cast<std::int32_t>(size)))
            return -1;
        if (!check)
            best = std::min(best, Seconds(t0, t1));
    }
    return best;
}

// Best times of the unar process decoding the stream wrapped in a RAR archive.
Timing TimeUnar(const std::string &dir, const qmpack::Bytes &stream, std::size_t size, std::uint32_t crc,
                int runs = kRuns)
{
    const std::string archive = dir + "/bench.rar";
    qmpack::WriteFile(archive, qmtest::WrapRar(stream, static_cast<std::uint32_t>(size), crc, "bench.bin"));
    Timing best;
    for (int run = 0; run < runs; ++run) {
        const double c0 = ChildrenCpuSeconds();
        const auto t0 = Clock::now();
        const int rc = std::system(("unar -q -o - '" + archive + "' > /dev/null").c_str());
        const auto t1 = Clock::now();
        const double c1 = ChildrenCpuSeconds();
        if (rc != 0) {
            std::fprintf(stderr, "unar failed\n");
            return {-1, -1};
        }
        best.wall = std::min(best.wall, Seconds(t0, t1));
        best.cpu = std::min(best.cpu, c1 - c0);
    }
    return best;
}

// The processors this process may run on.
std::vector<int> AllowedProcessors()
{
    std::vector<int> cpus;
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        for (int c = 0; c < CPU_SETSIZE; ++c)
            if (CPU_ISSET(c, &set))
                cpus.push_back(c);
    }
    return cpus;
}

// Keeps this thread, the threads it starts and the processes it runs on
// processor cpu (all of `allowed` for -1).
void RunOn(int cpu, const std::vector<int> &allowed)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    for (const int c : allowed)
        if (cpu < 0 || c == cpu)
            CPU_SET(c, &set);
    sched_setaffinity(0, sizeof set, &set);
}

// 16-bit stereo sound coded in audio mode with 4 channels: ours against unar,
// taking turns so that both see the same load on the machine.  The turns go
// round the processors, ours and unar's on the same one: on a virtual
// machine one processor may run a fifth slower than another for minutes, and
// a ratio of runs on different processors says more about them than about
// the decoders.  The ratio of each processor is shown, and that of the best
// times.
int AudioBench(const std::string &dir, std::size_t mib)
{
    const qmpack::Bytes data = qmtest::PcmBytes((mib << 20) / 4, 2, 2, 777);
    const std::size_t size = data.size();
    const auto t0 = Clock::now();
    const qmpack::Bytes stream = qmpack::Encode(data, qmtest::AudioOptions(qmpack::AudioMode::Always, 4));
    const auto t1 = Clock::now();
    const std::uint32_t crc = qmpack::Crc32(data);
    std::printf("\naudio input: %zu MiB of 16-bit stereo PCM, 4 channels\n", mib);
    std::printf("our stream: %.1f MiB (%.1f%%), encoded in %.1f s\n", stream.size() / 1048576.0,
                100.0 * stream.size() / size, Seconds(t0, t1));
    const std::string streamPath = dir + "/audio.bin";
    qmpack::WriteFile(streamPath, stream);
    std::vector<int> cpus = AllowedProcessors();
    const std::vector<int> allowed = cpus;
    if (cpus.empty())
        cpus.push_back(-1);
    Timing ours, unar;
    for (const int cpu : cpus) {
        RunOn(cpu, allowed);
        Timing oursHere, unarHere;
        for (int round = 0; round < kRuns; ++round) {
            const Timing o = TimeUnpackStream(streamPath, stream.size(), size, crc, 1);
            const Timing u = TimeUnar(dir, stream, size, crc, 1);
            if (o.wall < 0 || u.wall < 0)
                return 1;
            oursHere = {std::min(oursHere.wall, o.wall), std::min(oursHere.cpu, o.cpu)};
            unarHere = {std::min(unarHere.wall, u.wall), std::min(unarHere.cpu, u.cpu)};
        }
        if (cpu >= 0)
            std::printf("  on processor %d: ours %.1f MB/s, unar %.1f MB/s, ratio %.2f\n", cpu,
                        MBps(size, oursHere.wall), MBps(size, unarHere.wall), unarHere.wall / oursHere.wall);
        ours = {std::min(ours.wall, oursHere.wall), std::min(ours.cpu, oursHere.cpu)};
        unar = {std::min(unar.wall, unarHere.wall), std::min(unar.cpu, unarHere.cpu)};
    }
    RunOn(-1, allowed);
    std::printf("quillmark UnpackStream, audio (CRC-32, writes):  %8.1f MB/s (CPU time %8.1f MB/s)\n",
                MBps(size, ours.wall), MBps(size, ours.cpu));
    std::printf("unar, audio (whole process, to /dev/null):       %8.1f MB/s (CPU time %8.1f MB/s)\n",
                MBps(size, unar.wall), MBps(size, unar.cpu));
    std::printf("ratio quillmark / unar, audio:    %.2f (CPU time %.2f)\n", unar.wall / ours.wall,
                unar.cpu / ours.cpu);
    return 0;
}

// Mixed text and binary in LZ mode: ours against inflate and unar.
int MixedBench(const std::string &dir, std::size_t mib)
{
    const std::size_t size = mib << 20;
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
    const double best = TimeUnpackStream(streamPath, stream.size(), size, crc).wall;
    if (best < 0)
        return 1;
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
    const double alone = TimeDecoderAlone(stream, size, crc);
    if (alone < 0) {
        std::fprintf(stderr, "quillmark: the decoder alone made wrong bytes\n");
        return 1;
    }
    std::printf("quillmark decoder alone, memory to memory:       %8.1f MB/s\n", MBps(size, alone));

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

    // ---- libdeflate, on the same level-6 deflate data ----
    libdeflate_decompressor *decompressor = libdeflate_alloc_decompressor();
    double bestLd = 1e9, bestLdCrc = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        std::size_t outSize = 0;
        t0 = Clock::now();
        if (libdeflate_zlib_decompress(decompressor, z.data(), zsize, out.data(), size, &outSize) !=
                LIBDEFLATE_SUCCESS ||
            outSize != size)
            return 1;
        t1 = Clock::now();
        const std::uint32_t c = libdeflate_crc32(0, out.data(), size);
        const auto t2 = Clock::now();
        if (c != crc)
            return 1;
        bestLd = std::min(bestLd, Seconds(t0, t1));
        bestLdCrc = std::min(bestLdCrc, Seconds(t0, t2));
    }
    libdeflate_free_decompressor(decompressor);
    const double ld = MBps(size, bestLd);
    const double ldCrc = MBps(size, bestLdCrc);
    std::printf("libdeflate decompress:                           %8.1f MB/s\n", ld);
    std::printf("libdeflate decompress + crc32:                   %8.1f MB/s\n", ldCrc);

    // ---- unar ----
    const double bestUnar = TimeUnar(dir, stream, size, crc).wall;
    if (bestUnar < 0)
        return 1;
    const double unar = MBps(size, bestUnar);
    std::printf("unar (whole process, to /dev/null):              %8.1f MB/s\n", unar);

    std::printf("ratio quillmark / inflate:        %.2f\n", ours / inflate);
    std::printf("ratio quillmark / inflate+crc32:  %.2f\n", ours / inflateCrc);
    std::printf("ratio quillmark / libdeflate+crc32: %.2f\n", ours / ldCrc);
    std::printf("ratio decoding alone / libdeflate:  %.2f\n", MBps(size, alone) / ld);
    std::printf("ratio quillmark / unar:           %.2f\n", ours / unar);
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const std::size_t audioMib = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 32;
    const std::string dir = "/tmp/quillmark-unpack-bench-" + std::to_string(getpid());
    std::system(("mkdir -p " + dir).c_str());
    int rc = mib > 0 ? MixedBench(dir, mib) : 0;
    if (rc == 0 && audioMib > 0)
        rc = AudioBench(dir, audioMib);
    std::system(("rm -rf " + dir).c_str());
    return rc;
}
