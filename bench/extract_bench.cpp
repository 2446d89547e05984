// extract_bench.cpp - whole-process extraction of one compressed entry:
// `quill x` against `unar` on the same stream, the same entry enciphered
// against plain, and the peak memory of extracting a 1 GiB entry.
//
// Speed: 64 MiB (by default) of mixed text and binary, coded by the packer's
// encoder, stored once in our carrier and once wrapped in a RAR archive
// (the stream unchanged).  `quill x` and `unar` each extract it into a
// memory file system (/dev/shm), in turn, from process start to exit; the
// best wall time of each counts, with its user and system CPU time.
//
// Cipher: the same stream once more in our carrier, enciphered with method 1
// (two-key triple DES, CBC; by the packer, through OpenSSL), extracted by
// `quill x -p` in the same turns.  Its time against the plain entry's is what
// deciphering adds to a whole extraction.
//
// Memory: a 1 GiB entry (a 512 KiB pattern of the same mixed data over and
// over, which codes fast) is extracted by `quill x`; its peak resident set
// is compared with that of `quill l` on the same archive, the process's
// baseline.  The decoder's window is 1 MiB and every buffer is fixed, so the
// difference must not grow with the entry.
//
// Usage: extract_bench [MiB] [repeats] [GiB for the memory run, 0 skips]
//        (default 64, 5, 1); quill is taken from the bench's own directory.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "encoder_inputs.h"
#include "native/rar_wrap.h"
#include "bench_process.h"
#include "packer/carrier_writer.h"
#include "packer/encoder.h"
#include "packer_crypto/packer_crypto.h"

namespace {

using Clock = std::chrono::steady_clock;

using qmbench::Run;
using qmbench::Timing;

void Print(const char *what, const Timing &t, double mb)
{
    std::printf("%-30s %7.3f s  %7.1f MB/s  (user %.3f s, system %.3f s)\n", what, t.wall, mb / t.wall, t.user,
                t.system);
}

const char *const kPassword = "bench password";

// An archive of one entry holding stream, the coded form of data, enciphered
// with the given method (-1: plain).
bool WriteArchive(const std::string &path, const qmpack::Bytes &stream, const qmpack::Bytes &data,
                  std::int32_t cipherMethod = -1)
{
    qmpack::CarrierSpec layout;
    qmpack::EntrySpec entry;
    entry.name = "BENCH.BIN";
    entry.stored = cipherMethod == -1 ? stream
                                      : qmpack::EncipherData(stream, cipherMethod, kPassword,
                                                             {0x51, 0x75, 0x69, 0x6C, 0x6C, 0x6D, 0x61, 0x72});
    entry.cipherMethod = cipherMethod;
    entry.dataCrc = qmpack::Crc32(data);
    entry.unpackedSize = static_cast<std::int32_t>(data.size());
    layout.entries.push_back(entry);
    return qmpack::WriteFile(path, qmpack::BuildCarrier(layout));
}

// The inputs are made before and freed before the runs: a forked child's
// peak resident set counts what it shares with this process until its exec.
int SpeedRun(const std::string &quill, const std::string &dir, std::size_t mib, int repeats)
{
    const std::string archive = dir + "/bench.qm";
    const std::string enciphered = dir + "/bench-m1.qm";
    const std::string rar = dir + "/bench.rar";
    std::size_t size = 0, streamSize = 0;
    {
        const qmpack::Bytes data = qmtest::MixedBytes(mib << 20, 12345);
        const qmpack::Bytes stream = qmpack::EncodeLz(data);
        size = data.size();
        streamSize = stream.size();
        if (!WriteArchive(archive, stream, data) || !WriteArchive(enciphered, stream, data, 1) ||
            !qmpack::WriteFile(rar, qmtest::WrapRar(stream, static_cast<std::uint32_t>(data.size()),
                                                    qmpack::Crc32(data), "BENCH.BIN"))) {
            std::fprintf(stderr, "cannot write the inputs in %s\n", dir.c_str());
            return 1;
        }
    }
    Timing ours, unar, deciphering;
    for (int r = 0; r < repeats; ++r) {
        std::system(("rm -rf '" + dir + "/out' '" + dir + "/unar' '" + dir + "/m1'").c_str());
        if (!Run({quill, "x", archive, "-o", dir + "/out", "-y"}, ours)) {
            std::fprintf(stderr, "quill failed\n");
            return 1;
        }
        if (!Run({quill, "x", "-p", kPassword, enciphered, "-o", dir + "/m1", "-y"}, deciphering)) {
            std::fprintf(stderr, "quill failed on the enciphered entry\n");
            return 1;
        }
        if (!Run({"unar", "-q", "-f", "-o", dir + "/unar", rar}, unar)) {
            std::fprintf(stderr, "unar failed\n");
            return 1;
        }
    }
    if (std::system(("cmp -s '" + dir + "/out/BENCH.BIN' '" + dir + "/unar/BENCH.BIN'").c_str()) != 0 ||
        std::system(("cmp -s '" + dir + "/out/BENCH.BIN' '" + dir + "/m1/BENCH.BIN'").c_str()) != 0) {
        std::fprintf(stderr, "the extracted files differ\n");
        return 1;
    }
    const double mb = static_cast<double>(size) / 1e6;
    std::printf("%zu MiB compressed entry (stream %.1f MiB), best of %d, into %s\n", mib,
                static_cast<double>(streamSize) / 1048576.0, repeats, dir.c_str());
    Print("quill x (whole process)", ours, mb);
    Print("unar (whole process)", unar, mb);
    std::printf("ratio quill / unar (speed, wall time): %.2f\n", unar.wall / ours.wall);
    std::printf("ratio quill / unar (CPU time):         %.2f\n",
                (unar.user + unar.system) / (ours.user + ours.system));
    Print("quill x -p, method 1", deciphering, mb);
    std::printf("enciphered (method 1) / plain, time (wall): %.2f\n", deciphering.wall / ours.wall);
    std::printf("enciphered (method 1) / plain, time (CPU):  %.2f\n",
                (deciphering.user + deciphering.system) / (ours.user + ours.system));
    return 0;
}

int MemoryRun(const std::string &quill, const std::string &dir, std::size_t gib)
{
    const std::string archive = dir + "/big.qm";
    const std::size_t size = gib << 30;
    std::size_t streamSize = 0;
    double encodeSeconds = 0;
    {
        const qmpack::Bytes pattern = qmtest::MixedBytes(512 << 10, 999);
        qmpack::Bytes data(size);
        for (std::size_t i = 0; i < data.size(); i += pattern.size())
            std::copy(pattern.begin(), pattern.end(), data.begin() + static_cast<std::ptrdiff_t>(i));
        const auto t0 = Clock::now();
        const qmpack::Bytes stream = qmpack::EncodeLz(data);
        encodeSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
        streamSize = stream.size();
        if (!WriteArchive(archive, stream, data)) {
            std::fprintf(stderr, "cannot write %s\n", archive.c_str());
            return 1;
        }
    }
    Timing list, extract;
    std::system(("rm -rf '" + dir + "/big'").c_str());
    if (!Run({quill, "l", archive}, list) || !Run({quill, "x", archive, "-o", dir + "/big", "-y"}, extract)) {
        std::fprintf(stderr, "quill failed on %s\n", archive.c_str());
        return 1;
    }
    std::printf("%zu GiB compressed entry (stream %.1f MiB, encoded in %.1f s)\n", gib,
                static_cast<double>(streamSize) / 1048576.0, encodeSeconds);
    Print("quill x (whole process)", extract, static_cast<double>(size) / 1e6);
    std::printf("peak resident set: quill l %.1f MiB, quill x %.1f MiB, difference %.1f MiB\n\n",
                static_cast<double>(list.maxRssKiB) / 1024.0, static_cast<double>(extract.maxRssKiB) / 1024.0,
                static_cast<double>(extract.maxRssKiB - list.maxRssKiB) / 1024.0);
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::size_t gib = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 1;
    const std::string self = argv[0];
    const std::string quill = self.substr(0, self.find_last_of('/') + 1) + "quill";
    const std::string dir = "/dev/shm/quillmark-extract-bench-" + std::to_string(getpid());
    std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str());
    // The memory run first, while this process is small (see bench_process.h).
    int rc = gib > 0 ? MemoryRun(quill, dir, gib) : 0;
    if (rc == 0 && mib > 0)
        rc = SpeedRun(quill, dir, mib, repeats);
    std::system(("rm -rf '" + dir + "'").c_str());
    return rc;
}
