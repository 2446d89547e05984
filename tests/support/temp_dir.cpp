#include "support/temp_dir.h"

#include <atomic>
#include <chrono>
#include <system_error>

namespace qmtest {

TempDir::TempDir()
{
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        path_ = base / ("quillmark-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        std::error_code ec;
        if (std::filesystem::create_directory(path_, ec))
            break;
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::File(const std::string &name) const { return (path_ / name).string(); }

std::string TempDir::Write(const std::string &name, const qmpack::Bytes &bytes) const
{
    const std::string p = File(name);
    qmpack::WriteFile(p, bytes);
    return p;
}

std::string CorpusFile(const std::string &name) { return std::string(QM_CORPUS_DIR) + "/" + name; }

}  // namespace qmtest
