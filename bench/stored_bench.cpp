// stored_bench.cpp - whole-process extraction of one large stored entry
// against `cp` of the same bytes, into the same file system.
//
// The bench writes an archive holding one stored entry of random bytes (the
// default 200 MB) and a plain file with the same bytes, then times in turn
// `quill x ARCHIVE -o DIR` and `cp FILE DIR`, each from process start to
// exit, the output removed and the dirty pages written back (sync) before
// each run so neither inherits the other's writeback.  Both read from the
// page cache.  The best wall time of each counts; the user and system CPU
// time of that run are shown beside it, and their ratio too, which says more
// than the wall time when other processes load the machine.
//
// Usage: stored_bench [MB] [repeats] [work directory]
//        (default 200, 7, /tmp/quillmark-stored-bench-PID)
// quill is taken from the bench's own directory.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bench_process.h"
#include "packer/carrier_writer.h"

namespace {

using qmbench::Run;
using qmbench::Timing;

void Print(const char *what, const Timing &t, double mb)
{
    std::printf("%-34s %7.3f s  %7.0f MB/s  (user %.3f s, system %.3f s)\n", what, t.wall,
                mb / t.wall, t.user, t.system);
}

}  // namespace

int main(int argc, char **argv)
{
    const std::size_t mb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200;
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 7;
    const std::string dir =
        argc > 3 ? argv[3] : "/tmp/quillmark-stored-bench-" + std::to_string(getpid());
    std::string self = argv[0];
    const std::string quill = self.substr(0, self.find_last_of('/') + 1) + "quill";
    std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "/out'").c_str());

    const std::size_t size = mb * 1000000;
    {
        qmpack::Bytes data(size);
        std::mt19937_64 rng(7);
        for (std::size_t i = 0; i < size; ++i)
            data[i] = static_cast<std::uint8_t>(rng() >> 56);
        qmpack::CarrierSpec layout;
        layout.entries.push_back(qmpack::StoredEntry("STORED.BIN", data));
        if (!qmpack::WriteFile(dir + "/source.bin", data) ||
            !qmpack::WriteFile(dir + "/stored.rar", qmpack::BuildCarrier(layout))) {
            std::fprintf(stderr, "cannot write the inputs in %s\n", dir.c_str());
            return 1;
        }
    }
    const std::string quillOut = dir + "/out/STORED.BIN";
    const std::string cpOut = dir + "/out/copy.bin";

    Timing ours, cp;
    for (int r = 0; r < repeats; ++r) {
        std::remove(quillOut.c_str());
        sync();
        if (!Run({quill, "x", dir + "/stored.rar", "-o", dir + "/out", "-y"}, ours)) {
            std::fprintf(stderr, "quill failed\n");
            return 1;
        }
        std::remove(cpOut.c_str());
        sync();
        if (!Run({"/bin/cp", dir + "/source.bin", cpOut}, cp)) {
            std::fprintf(stderr, "cp failed\n");
            return 1;
        }
    }
    if (std::system(("cmp -s '" + quillOut + "' '" + cpOut + "'").c_str()) != 0) {
        std::fprintf(stderr, "the extracted file differs from the source\n");
        return 1;
    }
    std::printf("%zu MB stored entry, best of %d, in %s\n", mb, repeats, dir.c_str());
    Print("quill x (whole process)", ours, static_cast<double>(mb));
    Print("cp (whole process)", cp, static_cast<double>(mb));
    std::printf("ratio quill / cp (speed, wall time): %.2f\n", cp.wall / ours.wall);
    std::printf("ratio quill / cp (CPU time):         %.2f\n",
                (cp.user + cp.system) / (ours.user + ours.system));
    std::system(("rm -rf '" + dir + "'").c_str());
    return 0;
}
