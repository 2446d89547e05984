// crc_bench.cpp - the data CRC-32 against libdeflate's and zlib's crc32 on
// the same buffer (default 64 MiB of random bytes).
//
// Each function runs over the whole buffer several times in turn and the best
// time of each counts (the thread's CPU time), so that the load of other
// processes on the machine weighs on all of them alike.  Crc32Data is measured as the library runs it
// (the widest carry-less folding the processor has), and beside it the
// 128-bit folding and the slice-by-8 path it falls back to.
//
// Usage: crc_bench [MiB] [repeats]   (default 64 and 7)
#include <libdeflate.h>
#include <zlib.h>

#include <time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "crypto/cpu_features.h"
#include "crypto/crc32.h"
#include "crypto/crc32_paths.h"

namespace {

// The thread's CPU time: other processes on the machine take turns with the
// bench, and the time they hold the processor must not count.
double ThreadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

struct Contender {
    const char *name;
    std::uint32_t (*run)(const std::vector<unsigned char> &);
    double best = 1e30;
    std::uint32_t crc = 0;
};

std::uint32_t Ours(const std::vector<unsigned char> &d)
{
    return ~qm::Crc32Data(0xFFFFFFFFu, d.data(), static_cast<std::int32_t>(d.size()));
}

std::uint32_t OursFolded(const std::vector<unsigned char> &d)
{
    return ~qm::Crc32Folded(0xFFFFFFFFu, d.data(), d.size());
}

std::uint32_t OursSlices(const std::vector<unsigned char> &d)
{
    return ~qm::Crc32Slices(0xFFFFFFFFu, d.data(), d.size());
}

std::uint32_t Libdeflate(const std::vector<unsigned char> &d)
{
    return libdeflate_crc32(0, d.data(), d.size());
}

std::uint32_t Zlib(const std::vector<unsigned char> &d)
{
    return static_cast<std::uint32_t>(crc32(0L, d.data(), static_cast<uInt>(d.size())));
}

}  // namespace

int main(int argc, char **argv)
{
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 7;
    std::vector<unsigned char> data(mib << 20);
    std::mt19937_64 rng(2024);
    for (std::size_t i = 0; i + 8 <= data.size(); i += 8) {
        const std::uint64_t r = rng();
        for (int k = 0; k < 8; ++k)
            data[i + k] = static_cast<unsigned char>(r >> (8 * k));
    }

    Contender contenders[] = {{"libdeflate crc32", Libdeflate},
                              {"Crc32Data", Ours},
                              {"128-bit folding", OursFolded},
                              {"slice-by-8", OursSlices},
                              {"zlib crc32", Zlib}};
    const std::size_t count = qm::CpuHasCarrylessMultiply() ? 5 : 4;
    if (count == 4)
        contenders[2] = contenders[4];
    for (int r = 0; r < repeats; ++r) {
        for (std::size_t i = 0; i < count; ++i) {
            Contender &c = contenders[i];
            const double t0 = ThreadSeconds();
            c.crc = c.run(data);
            const double s = ThreadSeconds() - t0;
            if (s < c.best)
                c.best = s;
        }
    }
    std::printf("%zu MiB, best of %d; carry-less multiplication: %s, 256-bit: %s\n", mib, repeats,
                qm::CpuHasCarrylessMultiply() ? "yes" : "no",
                qm::CpuHasWideCarrylessMultiply() ? "yes" : "no");
    const double peer = data.size() / 1e6 / contenders[0].best;
    for (std::size_t i = 0; i < count; ++i) {
        const Contender &c = contenders[i];
        const double mbps = data.size() / 1e6 / c.best;
        std::printf("%-22s %8.0f MB/s  %.2f of libdeflate  crc %08x\n", c.name, mbps, mbps / peer,
                    static_cast<unsigned>(c.crc));
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (contenders[i].crc != contenders[0].crc) {
            std::printf("CRC MISMATCH\n");
            return 1;
        }
    }
    return 0;
}
