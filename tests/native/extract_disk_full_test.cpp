// A full disk, for real: a child process runs the extraction under a file
// size limit (with SIGXFSZ ignored, so writes past the limit fail with EFBIG)
// and reports the status back through a pipe.  The file the failed entry
// would have replaced stays as it was.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "extract_test_support.h"
#include "packer/carrier_writer.h"
#include "packer/encoder.h"
#include "quillmark.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// Runs one extraction of every entry in a child process whose files may not
// grow beyond the limit; returns the status it ended with.
std::uint16_t ExtractUnderFileSizeLimit(const std::string &carrier, const fs::path &out, rlim_t limit)
{
    int fds[2];
    if (pipe(fds) != 0)
        return 0xFFFF;
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        signal(SIGXFSZ, SIG_IGN);
        const struct rlimit rl{limit, limit};
        setrlimit(RLIMIT_FSIZE, &rl);
        ArcOpenParams params;
        std::memset(&params, 0, sizeof params);
        std::strcpy(params.dataPassword, "pw");
        InitHidFile(carrier.c_str(), &params);
        SetOutputPath(qmtest::LibPath(out).c_str());
        FileMaskList masks;
        InitFileMaskList(&masks);
        ExtractFileMaskListArc(&masks);
        const std::uint16_t status = GetArchiveStatus();
        (void)!write(fds[1], &status, sizeof status);
        _exit(0);
    }
    close(fds[1]);
    std::uint16_t status = 0xFFFF;
    if (read(fds[0], &status, sizeof status) != sizeof status)
        status = 0xFFFF;
    close(fds[0]);
    int wstatus = 0;
    waitpid(child, &wstatus, 0);
    return status;
}

TEST(ExtractDiskFull, AShortWriteGivesStatus101AndKeepsTheFileItWouldHaveReplaced)
{
    struct Case {
        rlim_t limit;
        std::size_t size;  // of the entry that does not fit
        bool compressed;
    };
    const Case cases[] = {
        {100000, 200000, false},    // writes fail in the middle of the copy
        {16384, 16484, false},      // only the last buffered bytes fail, when the stream is flushed
        {1500000, 3000000, false},  // large: the writer thread's write fails
        {1500000, 3000000, true},   // the same behind the decoder
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.size);
        SCOPED_TRACE(c.compressed);
        qmtest::TempDir dir;
        const fs::path out = dir.path() / "out";
        fs::create_directory(out);
        qmpack::Bytes small(100, 's'), big(c.size);
        for (std::size_t i = 0; i < big.size(); ++i)
            big[i] = static_cast<std::uint8_t>(i * 13);
        qmpack::CarrierSpec layout;
        qmpack::EntrySpec bigEntry = qmpack::StoredEntry("BIG.BIN", big);
        if (c.compressed) {
            bigEntry.stored = qmpack::EncodeLz(big);
            bigEntry.unpackedSize = static_cast<std::int32_t>(big.size());
        }
        layout.entries = {qmpack::StoredEntry("SMALL.TXT", small), bigEntry, qmpack::StoredEntry("LATER.TXT", small)};
        const std::string carrier = dir.Write("carrier.bin", qmpack::BuildCarrier(layout));
        const qmpack::Bytes old(5000, 'o');
        qmpack::WriteFile((out / "BIG.BIN").string(), old);

        EXPECT_EQ(ExtractUnderFileSizeLimit(carrier, out, c.limit), QM_STATUS_WRITE_FAILED);
        EXPECT_EQ(qmpack::ReadFile((out / "SMALL.TXT").string()), small);
        EXPECT_EQ(qmpack::ReadFile((out / "BIG.BIN").string()), old);  // the old file, whole
        EXPECT_FALSE(fs::exists(out / "LATER.TXT"));
        std::size_t names = 0;
        for ([[maybe_unused]] const auto &e : fs::directory_iterator(out))
            ++names;
        EXPECT_EQ(names, 2u);  // no temporary file left behind
    }
}

}  // namespace
