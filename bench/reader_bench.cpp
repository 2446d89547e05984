// reader_bench.cpp - the handle API's reading speed and memory.
//
// One 64 MiB entry of mixed text and binary, compressed, in a carrier held
// in memory.  Timed, best of three:
//   - qm_read_data into a 64 KiB buffer after qm_open_memory (the CRC is
//     checked at the end of the entry);
//   - UnpackStream as the exports run it on the same stream (pipeline from
//     the carrier file, CRC-32, writes to /dev/null): the rate to keep;
//   - libdeflate decompress + crc32 over the same data deflated at level 6,
//     as the peer;
//   - two threads each reading an archive of its own against one thread
//     reading both in turn (wall time), for the scaling of independent
//     archives;
// and the heap an open archive holds once it reads a compressed entry
// (mallinfo2 before the open and after the first read).
//
// Usage: reader_bench [MiB]   (default 64)
#include <malloc.h>
#include <time.h>
#include <unistd.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <memory>
#include <vector>

#include "extract/export_session.h"
#include "crypto/crc32.h"
#include "encoder_inputs.h"
#include "extract/pipeline.h"
#include "packer/carrier_writer.h"
#include "packer/encoder.h"
#include "quillmark_reader.h"
#include "unpack/tables.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 3;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// CPU time of the calling thread: on a shared machine the wall time of two
// threads also counts the other work that holds the cores.
double ThreadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}
double MBps(std::size_t bytes, double seconds) { return bytes / 1e6 / seconds; }

// Reads the one entry of the carrier through the handle API; false on any
// error or a wrong size.
bool ReadThroughHandle(const qmpack::Bytes &carrier, std::size_t size)
{
    qm_archive *a = nullptr;
    if (qm_open_memory(carrier.data(), carrier.size(), nullptr, &a) != 0)
        return false;
    const qm_entry *e = nullptr;
    bool ok = qm_next_entry(a, &e) == 0;
    static thread_local std::vector<std::uint8_t> buffer(64 * 1024);
    std::size_t total = 0;
    int64_t n = 0;
    while (ok && (n = qm_read_data(a, buffer.data(), buffer.size())) > 0)
        total += static_cast<std::size_t>(n);
    ok = ok && n == 0 && total == size;
    if (!ok)
        std::fprintf(stderr, "handle read failed: %s\n", qm_error_message(a));
    qm_close(a);
    return ok;
}

double TimeUnpackStream(const std::string &streamPath, std::size_t packed, std::size_t size, std::uint32_t crc)
{
    std::vector<std::uint8_t> window(qm::kWindowSize);
    // The exports' path as they run it, in a session of the bench's own.
    const auto session = std::make_unique<qm::ExportSession>();
    qm::ExportSession &s = *session;
    double best = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        s.status = 0;
        s.carrier = qm::platform::OpenForRead(streamPath.c_str());
        s.transfer.output = qm::platform::OpenForWrite("/dev/null");
        s.transfer.packedLeft = static_cast<std::uint32_t>(packed);
        s.transfer.unpackedLeft = s.transfer.progressTotal = static_cast<std::int32_t>(size);
        s.transfer.dataCrc = 0xFFFFFFFFu;
        s.transfer.activeCipher = -1;
        s.transfer.readIvFirst = false;
        const auto t0 = Clock::now();
        qm::UnpackStream(s, window.data());
        const auto t1 = Clock::now();
        qm::platform::Close(s.carrier);
        qm::platform::Close(s.transfer.output);
        if (~s.transfer.dataCrc != crc || s.status != 0)
            return -1;
        best = std::min(best, Seconds(t0, t1));
    }
    return best;
}

}  // namespace

int main(int argc, char **argv)
{
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const std::size_t size = mib << 20;
    const qmpack::Bytes data = qmtest::MixedBytes(size, 12345);
    const qmpack::Bytes stream = qmpack::EncodeLz(data);
    const std::uint32_t crc = qmpack::Crc32(data);
    qmpack::CarrierSpec layout;
    qmpack::EntrySpec entry = qmpack::StoredEntry("bench.bin", data);
    entry.stored = stream;
    entry.unpackedSize = static_cast<std::int32_t>(size);
    entry.dataCrc = crc;
    layout.entries = {entry};
    const qmpack::Bytes carrier = qmpack::BuildCarrier(layout);
    std::printf("input: %zu MiB of mixed text and binary, stream %.1f MiB\n", mib, stream.size() / 1048576.0);

    // ---- the handle API ----
    double handle = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        const auto t0 = Clock::now();
        if (!ReadThroughHandle(carrier, size))
            return 1;
        handle = std::min(handle, Seconds(t0, Clock::now()));
    }

    // ---- UnpackStream as the exports run it ----
    const std::string dir = "/tmp/quillmark-reader-bench-" + std::to_string(getpid());
    std::system(("mkdir -p " + dir).c_str());
    const std::string streamPath = dir + "/stream.bin";
    qmpack::WriteFile(streamPath, stream);
    const double exportsTime = TimeUnpackStream(streamPath, stream.size(), size, crc);
    std::system(("rm -rf " + dir).c_str());
    if (exportsTime < 0)
        return 1;

    // ---- libdeflate + crc32 ----
    uLongf zsize = compressBound(static_cast<uLong>(size));
    std::vector<Bytef> z(zsize);
    if (compress2(z.data(), &zsize, data.data(), static_cast<uLong>(size), 6) != Z_OK)
        return 1;
    std::vector<std::uint8_t> out(size);
    libdeflate_decompressor *d = libdeflate_alloc_decompressor();
    double ld = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        std::size_t outSize = 0;
        const auto t0 = Clock::now();
        if (libdeflate_zlib_decompress(d, z.data(), zsize, out.data(), size, &outSize) != LIBDEFLATE_SUCCESS ||
            libdeflate_crc32(0, out.data(), size) != crc)
            return 1;
        ld = std::min(ld, Seconds(t0, Clock::now()));
    }
    libdeflate_free_decompressor(d);

    std::printf("qm_read_data, 64 KiB buffer (qm_open_memory): %8.1f MB/s\n", MBps(size, handle));
    std::printf("UnpackStream + CRC-32 + writes (exports):     %8.1f MB/s\n", MBps(size, exportsTime));
    std::printf("libdeflate decompress + crc32 (peer):         %8.1f MB/s\n", MBps(size, ld));
    std::printf("ratio qm_read_data / UnpackStream:   %.2f\n", exportsTime / handle);
    std::printf("ratio qm_read_data / libdeflate:     %.2f\n", ld / handle);

    // ---- two archives: one thread in turn, two threads at once ----
    // Wall time, and the CPU time of each thread: when the archives share
    // nothing, a thread reading one archive beside another costs the same
    // CPU time as alone, and only the cores free on the machine limit the
    // speed-up of the wall time.
    double one = 1e9, two = 1e9, oneCpu = 1e9, twoCpu = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        auto t0 = Clock::now();
        double c0 = ThreadCpuSeconds();
        if (!ReadThroughHandle(carrier, size) || !ReadThroughHandle(carrier, size))
            return 1;
        one = std::min(one, Seconds(t0, Clock::now()));
        oneCpu = std::min(oneCpu, (ThreadCpuSeconds() - c0) / 2);
        bool ok[2] = {false, false};
        double cpu[2] = {0, 0};
        t0 = Clock::now();
        std::thread other([&] {
            const double c = ThreadCpuSeconds();
            ok[1] = ReadThroughHandle(carrier, size);
            cpu[1] = ThreadCpuSeconds() - c;
        });
        c0 = ThreadCpuSeconds();
        ok[0] = ReadThroughHandle(carrier, size);
        cpu[0] = ThreadCpuSeconds() - c0;
        other.join();
        two = std::min(two, Seconds(t0, Clock::now()));
        twoCpu = std::min(twoCpu, std::max(cpu[0], cpu[1]));
        if (!ok[0] || !ok[1])
            return 1;
    }
    std::printf("two archives, one thread: %.3f s; two threads: %.3f s; speed-up %.2f (cores: %u)\n", one, two,
                one / two, std::thread::hardware_concurrency());
    std::printf("CPU time per archive, alone: %.3f s; beside the other: %.3f s; ratio %.2f\n", oneCpu, twoCpu,
                oneCpu / twoCpu);

    // ---- memory of an open archive reading a compressed entry ----
    const std::size_t before = mallinfo2().uordblks;
    qm_archive *a = nullptr;
    const qm_entry *e = nullptr;
    std::uint8_t small[64];
    if (qm_open_memory(carrier.data(), carrier.size(), nullptr, &a) != 0 || qm_next_entry(a, &e) != 0 ||
        qm_read_data(a, small, sizeof small) != static_cast<int64_t>(sizeof small))
        return 1;
    const std::size_t after = mallinfo2().uordblks;
    qm_close(a);
    std::printf("heap held by one open archive reading a compressed entry: %zu bytes (%.2f MiB)\n",
                after - before, (after - before) / 1048576.0);
    return 0;
}
