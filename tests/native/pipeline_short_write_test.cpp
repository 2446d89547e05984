// A stored copy whose output file stops growing in the middle of a block:
// the copy writes about half a mebibyte at a time but reports progress per
// 32512-byte step, so the bytes that did go out must be shared among the
// steps in order, and the CRC must cover exactly those bytes.  The short
// write is real: a child process copies under a file size limit (SIGXFSZ
// ignored, so the write fails with EFBIG) and sends back what it saw.  A
// large entry takes the same reports through the writer thread.
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
    std::int32_t percent[128];
    std::int32_t written[128];
};

Report g_report;

std::int32_t QM_CALL Record(QmUserValue, std::int32_t percent, std::int32_t written)
{
    if (g_report.calls < 128) {
        g_report.percent[g_report.calls] = percent;
        g_report.written[g_report.calls] = written;
    }
    ++g_report.calls;
    return 1;
}

TEST(PipelineShortWrite, BytesWrittenAreSharedAmongTheStepsInOrder)
{
    constexpr std::int32_t kStep = 32512;
    struct Case {
        std::size_t size;
        rlim_t limit;
    };
    const Case cases[] = {
        {200000, 100000},    // six steps of 32512 and one of 4928, written inline
        {3000000, 1500000},  // 93 steps, written by the writer thread
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.size);
        const std::size_t kSize = c.size;
        const rlim_t kLimit = c.limit;
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
            session.transfer.packedLeft = static_cast<std::uint32_t>(kSize);
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
        const auto steps = static_cast<std::int32_t>((kSize + kStep - 1) / kStep);
        ASSERT_EQ(report.calls, steps);
        // Full steps, then at most one partial one, then nothing.
        std::int32_t total = 0;
        bool shortSeen = false;
        for (int k = 0; k < steps; ++k) {
            const std::int32_t asked = k < steps - 1 ? kStep : static_cast<std::int32_t>(kSize) - k * kStep;
            SCOPED_TRACE(k);
            EXPECT_GE(report.written[k], 0);
            EXPECT_LE(report.written[k], asked);
            if (shortSeen) {
                EXPECT_EQ(report.written[k], 0);
            }
            shortSeen = shortSeen || report.written[k] < asked;
            total += report.written[k];
            const std::int64_t done = k < steps - 1 ? std::int64_t{k + 1} * kStep : static_cast<std::int64_t>(kSize);
            EXPECT_EQ(report.percent[k], static_cast<std::int32_t>(done * 100 / static_cast<std::int64_t>(kSize)));
        }
        EXPECT_GT(total, 0);
        EXPECT_LE(total, static_cast<std::int32_t>(kLimit));
        EXPECT_EQ(report.dataCrc, qm::Crc32Data(0xFFFFFFFFu, data.data(), total));
    }
}

}  // namespace
