// replay_main.cpp - runs a fuzz target's entry over files, without libFuzzer.
//
// Usage: qm_replay_<target> FILE|FOLDER...   Every file named, and every file
// of every folder named, goes through LLVMFuzzerTestOneInput once.  A finding
// aborts, as it does under the fuzzer; the exit status is 0 otherwise.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

int ReplayFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::printf("replaying %s (%zu bytes)\n", path.c_str(), bytes.size());
    std::fflush(stdout);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        if (std::filesystem::is_directory(path)) {
            for (const auto &entry : std::filesystem::directory_iterator(path))
                if (entry.is_regular_file())
                    failures += ReplayFile(entry.path());
        } else {
            failures += ReplayFile(path);
        }
    }
    return failures == 0 ? 0 : 1;
}
