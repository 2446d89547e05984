// pack_bench.cpp - whole-process packing with qmpack: speed, peak memory and
// size on the benchmark's mixed data, beside gzip -6 on the same file.
//
// The bench writes MiB of the mixed text and binary of the other benchmarks
// (the same generator and seed) to a file, then runs `qmpack -q [LEVEL]
// ARCHIVE FILE` for each level given (none: qmpack's default) and `gzip -6
// -c FILE`, each `repeats` times from process start to exit.  The best wall
// time counts, with that run's CPU time and peak resident set.  Another
// qmpack (an older build) can be named to compare with; it is given only
// the levels named.
//
// Usage: pack_bench [MiB] [repeats] [qmpack program] [LEVEL...]
//        (default 56, 3, the qmpack beside the bench, no level)
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_process.h"
#include "encoder_inputs.h"

int main(int argc, char **argv)
{
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 56;
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::string self = argv[0];
    const std::string qmpack =
        argc > 3 ? argv[3] : self.substr(0, self.find_last_of('/') + 1) + "qmpack";
    std::vector<std::string> levels(argv + std::min(argc, 4), argv + argc);
    if (levels.empty())
        levels.push_back("");
    const std::string dir = "/tmp/quillmark-pack-bench-" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    const std::string input = dir + "/mixed.bin", archive = dir + "/mixed.qm";
    const std::size_t bytes = mib << 20;
    // Written and freed: a child's peak resident set counts what it shares
    // with the bench until it starts its program.
    if (!qmpack::WriteFile(input, qmtest::MixedBytes(bytes, 12345))) {
        std::fprintf(stderr, "cannot write %s\n", input.c_str());
        return 1;
    }
    const double mb = static_cast<double>(bytes) / 1e6;
    std::printf("input: %zu MiB (%.1f MB) of mixed text and binary; %s\n", mib, mb, qmpack.c_str());

    int rc = 0;
    for (const std::string &level : levels) {
        qmbench::Timing best;
        std::vector<std::string> args = {qmpack, "-q"};
        if (!level.empty())
            args.push_back(level);
        args.insert(args.end(), {archive, input});
        bool ok = true;
        for (int k = 0; k < repeats && ok; ++k) {
            std::filesystem::remove(archive);
            ok = qmbench::Run(args, best);
        }
        if (!ok) {
            std::fprintf(stderr, "qmpack %s failed\n", level.c_str());
            rc = 1;
            continue;
        }
        const auto size = std::filesystem::file_size(archive);
        std::printf("qmpack %-4s %7.2f s (%5.1f MB/s), CPU %6.2f s (%5.1f MB/s), peak %6.1f MiB, "
                    "%llu bytes (%.2f %%)\n",
                    level.empty() ? "" : level.c_str(), best.wall, mb / best.wall, best.user + best.system,
                    mb / (best.user + best.system), static_cast<double>(best.maxRssKiB) / 1024,
                    static_cast<unsigned long long>(size), 100.0 * static_cast<double>(size) / static_cast<double>(bytes));
    }
    qmbench::Timing gzip;
    for (int k = 0; k < repeats; ++k)
        qmbench::Run({"gzip", "-6", "-c", input}, gzip);
    std::printf("gzip -6     %7.2f s (%5.1f MB/s), CPU %6.2f s (%5.1f MB/s), peak %6.1f MiB\n", gzip.wall,
                mb / gzip.wall, gzip.user + gzip.system, mb / (gzip.user + gzip.system),
                static_cast<double>(gzip.maxRssKiB) / 1024);
    std::filesystem::remove_all(dir);
    return rc;
}
