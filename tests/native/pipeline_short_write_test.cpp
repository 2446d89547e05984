// A stored copy whose output file stops growing in the middle of a block:
// the copy writes about half a mebibyte at a time but reports progress per
// 32512-byte step, so the bytes that did go out must be shared among the
// steps in order, and the CRC must cover exactly those bytes.  The short
// write is real: a child process copies under a file size limit (SIGXFSZ
// ignored, so the write fails with EFBIG) and sends back what it saw.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <vector>

#include "crypto/crc32.h"
#include "extract/export_session.h"
#include "extract/pipeline.h"
#include "support/temp_dir.h"

namespace {

struct Report {
    std::uint16_t status;
    std::uint32_t dataCrc;
    std::int32_t calls;
    std::int32_t percent[16];
    std::int32_t written[16];
};

Report g_report;

std::int32_t QM_CALL Record(QmUserValue, std::int32_t percent, std::int32_t written)
{
    if (g_report.calls < 16) {
        g_report.percent[g_report.calls] = percent;
        g_report.written[g_report.calls] = written;
    }
    ++g_report.calls;
    return 1;
}

TEST(PipelineShortWrite, BytesWrittenAreSharedAmongTheStepsInOrder)
{
    constexpr std::size_t kSize = 200000;  // six steps of 32512 and one of 4928
    constexpr rlim_t kLimit = 100000;
    qmpack::Bytes data(kSize);
    for (std::size_t i = 0; i < kSize; ++i)
        data[i] = static_cast<std::uint8_t>(i * 131 + (i >> 9));
    qmtest::TempDir dir;
    const std::string carrier = dir.Write("carrier", data);
    const std::string output = dir.File("out");

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        signal(SIGXFSZ, SIG_IGN);
        const struct rlimit rl{kLimit, kLimit};
        setrlimit(RLIMIT_FSIZE, &rl);
        const auto fresh = std::make_unique<qm::ExportSession>();
        qm::ExportSession &session = *fresh;
        session.status = 0;
        session.callbacks.progress = {Record, 0};
        session.carrier = qm::platform::OpenForRead(carrier.c_str());
        session.transfer.output = qm::platform::OpenForWrite(output.c_str());
        session.transfer.packedLeft = kSize;
        session.transfer.unpackedLeft = session.transfer.progressTotal = static_cast<std::int32_t>(kSize);
        session.transfer.activeCipher = -1;
        qm::CopyStored(session);
        g_report.status = session.status;
        g_report.dataCrc = session.transfer.dataCrc;
        (void)!write(fds[1], &g_report, sizeof g_report);
        _exit(0);
    }
    close(fds[1]);
    Report report{};
    const bool got = read(fds[0], &report, sizeof report) == sizeof report;
    close(fds[0]);
    waitpid(child, nullptr, 0);
    ASSERT_TRUE(got);

    EXPECT_EQ(report.status, QM_STATUS_WRITE_FAILED);
    ASSERT_EQ(report.calls, 7);
    // Full steps, then at most one partial one, then nothing.
    std::int32_t total = 0;
    bool shortSeen = false;
    for (int k = 0; k < 7; ++k) {
        const std::int32_t asked = k < 6 ? 32512 : 4928;
        SCOPED_TRACE(k);
        EXPECT_GE(report.written[k], 0);
        EXPECT_LE(report.written[k], asked);
        if (shortSeen) {
            EXPECT_EQ(report.written[k], 0);
        }
        shortSeen = shortSeen || report.written[k] < asked;
        total += report.written[k];
        EXPECT_EQ(report.percent[k], static_cast<std::int32_t>((k < 6 ? (k + 1) * 32512 : kSize) * 100 / kSize));
    }
    EXPECT_GT(total, 0);
    EXPECT_LE(total, static_cast<std::int32_t>(kLimit));
    EXPECT_EQ(report.dataCrc, qm::Crc32Data(0xFFFFFFFFu, data.data(), total));
}

}  // namespace
