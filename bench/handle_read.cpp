// handle_read.cpp - the program handle_read_bench, the baseline for the
// Python package's reading speed: every entry of the archives named on the
// command line read with qm_open_file and qm_read_data (the CRC checked at
// each entry's end), best of three, either into one 1 MiB buffer used again
// and again (streaming) or with --whole each entry into a new buffer of its
// size (what Archive.read does: the entry in memory); first each archive in
// turn in one thread, then each archive in a thread of its own.
// bench/python_read_bench.py runs it beside the package on the same archives.
//
// Usage: handle_read_bench [--whole] ARCHIVE...
// Prints: "one thread: S s, N MiB/s" and "threads: S s, N MiB/s".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "quillmark_reader.h"

namespace {

// The bytes of every entry, or -1 on a failure (reported).
long long ReadArchive(const std::string &path, bool whole)
{
    qm_archive *a = nullptr;
    if (qm_open_file(path.c_str(), nullptr, &a) != 0) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), qm_error_message(nullptr));
        return -1;
    }
    std::vector<char> buffer(1 << 20);
    long long total = 0;
    const qm_entry *e = nullptr;
    while (qm_next_entry(a, &e) == 0) {
        std::int64_t n;
        if (whole) {
            // A fresh buffer, as a host keeping the entry needs; one byte more
            // for the read past the end that checks the CRC.
            char *entry = static_cast<char *>(std::malloc(e->size + 1));
            std::uint64_t got = 0;
            while ((n = qm_read_data(a, entry + got, e->size + 1 - got)) > 0)
                got += static_cast<std::uint64_t>(n);
            total += static_cast<long long>(got);
            std::free(entry);
        } else {
            while ((n = qm_read_data(a, buffer.data(), buffer.size())) > 0)
                total += n;
        }
        if (n < 0) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), qm_error_message(a));
            total = -1;
            break;
        }
    }
    qm_close(a);
    return total;
}

template <typename Run>
double BestOfThree(Run run)
{
    double best = 1e30;
    for (int i = 0; i < 3; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        run();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
        best = std::min(best, took.count());
    }
    return best;
}

}  // namespace

int main(int argc, char **argv)
{
    const bool whole = argc > 1 && std::string(argv[1]) == "--whole";
    const int first = whole ? 2 : 1;
    if (argc <= first) {
        std::fprintf(stderr, "usage: handle_read_bench [--whole] ARCHIVE...\n");
        return 2;
    }
    const std::vector<std::string> paths(argv + first, argv + argc);
    long long bytes = 0;
    for (const auto &p : paths) {
        const long long n = ReadArchive(p, whole);
        if (n < 0)
            return 1;
        bytes += n;
    }
    const double mib = static_cast<double>(bytes) / (1 << 20);
    const double one = BestOfThree([&] {
        for (const auto &p : paths)
            ReadArchive(p, whole);
    });
    std::printf("one thread: %.3f s, %.1f MiB/s\n", one, mib / one);
    const double many = BestOfThree([&] {
        std::vector<std::thread> threads;
        for (const auto &p : paths)
            threads.emplace_back([&p, whole] { ReadArchive(p, whole); });
        for (auto &t : threads)
            t.join();
    });
    std::printf("threads: %.3f s, %.1f MiB/s\n", many, mib / many);
    return 0;
}
