// The transfers of large entries with their writes on the writer thread,
// each against the same transfer written inline on the same input: the
// progress reports (their arguments and order), the status, the output
// file's bytes, the data CRC and the counters must all come out the same, also
// when the host stops the entry or the file takes no bytes.  Under
// ThreadSanitizer this suite is also the writer thread's race check.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "audio_inputs.h"
#include "crypto/cipher.h"
#include "crypto/crc32.h"
#include "encoder_inputs.h"
#include "extract/export_session.h"
#include "extract/pipeline.h"
#include "extract/transfer_behind.h"
#include "extract/write_behind.h"
#include "packer/encoder.h"
#include "support/temp_dir.h"
#include "unpack/tables.h"

namespace {

using qmpack::Bytes;

enum class Kind { kStored, kCompressed };
enum class Path { kInline, kBehind };

struct Host {
    int stopAt = 0;  // the report (1-based) the host answers with 0; 0: none
    std::vector<std::pair<std::int32_t, std::int32_t>> calls;  // percent, count
};

std::int32_t QM_CALL RecordProgress(QmUserValue user, std::int32_t percent, std::int32_t count)
{
    auto *host = reinterpret_cast<Host *>(user);
    host->calls.emplace_back(percent, count);
    return static_cast<int>(host->calls.size()) == host->stopAt ? 0 : 1;
}

struct Outcome {
    std::vector<std::pair<std::int32_t, std::int32_t>> calls;
    Bytes output;
    std::uint32_t dataCrc;
    std::uint16_t status;
    std::int32_t bytesDone;
    std::int32_t unpackedLeft;
};

class SourceOfPipeline final : public qm::PackedSource {
public:
    explicit SourceOfPipeline(qm::ExportSession &session) : session_(session) {}
    std::uint32_t ReadPacked(std::uint8_t *buffer, std::uint32_t count) override
    {
        return qm::ReadPackedData(session_, buffer, count);
    }

private:
    qm::ExportSession &session_;
};

struct Case {
    const char *name;
    Kind kind;
    Bytes packed;  // the entry's bytes in the carrier (chaining value first for method 2)
    std::int32_t unpackedSize;
    qm::CipherMethod method = -1;
    int stopAt = 0;
    bool acceptNothing = false;  // the output takes no bytes: every write fails
};

Outcome Transfer(const Case &c, Path path)
{
    qmtest::TempDir dir;
    const std::string carrier = dir.Write("carrier", c.packed);
    const std::string out = dir.File("out");
    const auto fresh = std::make_unique<qm::ExportSession>();
    qm::ExportSession &session = *fresh;
    qm::TransferState &transfer = session.transfer;
    session.status = 0;
    session.carrier = qm::platform::OpenForRead(carrier.c_str());
    if (c.acceptNothing) {
        qmpack::WriteFile(out, {});
        transfer.output = qm::platform::OpenForRead(out.c_str());
    } else {
        transfer.output = qm::platform::OpenForWrite(out.c_str());
    }
    EXPECT_TRUE(session.carrier && transfer.output);
    Host host{c.stopAt, {}};
    session.callbacks.progress = {RecordProgress, reinterpret_cast<QmUserValue>(&host)};
    transfer.packedLeft = static_cast<std::uint32_t>(c.packed.size() - (c.method == 2 ? 8 : 0));
    transfer.unpackedLeft = transfer.progressTotal = c.unpackedSize;
    transfer.dataCrc = 0xFFFFFFFFu;
    transfer.activeCipher = c.method;
    transfer.readIvFirst = c.method == 1 || c.method == 2;
    session.cipher.SelectKey("pw", c.method);
    static std::vector<std::uint8_t> window(qm::kWindowSize);
    SourceOfPipeline source(session);
    if (c.kind == Kind::kStored) {
        if (path == Path::kInline)
            qm::CopyStoredInline(session);
        else
            EXPECT_TRUE(qm::CopyStoredBehind(session));
    } else {
        if (path == Path::kInline)
            qm::UnpackStreamInline(session, window.data());
        else
            EXPECT_TRUE(qm::UnpackStreamBehind(session, &source, window.data()));
    }
    session.callbacks.progress = {};
    qm::platform::Close(session.carrier);
    qm::platform::Close(transfer.output);
    session.carrier = nullptr;
    transfer.output = nullptr;
    return {std::move(host.calls), qmpack::ReadFile(out), transfer.dataCrc, session.status,
            transfer.bytesDone,    transfer.unpackedLeft};
}

std::vector<Case> StoredCases()
{
    const Bytes stored = qmtest::RandomBytes(3 * qm::kWindowSize / 2 + 12345, 41);
    Bytes chained(8, 0x5A);
    const Bytes tail = qmtest::RandomBytes(5 * qm::kWindowSize / 4 + 3, 42);
    chained.insert(chained.end(), tail.begin(), tail.end());
    chained.resize(8 + ((tail.size() + 7) & ~std::size_t{7}), 0);  // whole cipher blocks
    const auto size = [](const Bytes &b) { return static_cast<std::int32_t>(b.size()); };
    return {
        {"stored", Kind::kStored, stored, size(stored)},
        {"stored, method 2 with a padded last block", Kind::kStored, chained, size(tail), 2},
        {"stored, the host stops at report 40", Kind::kStored, stored, size(stored), -1, 40},
        {"stored, every write fails", Kind::kStored, stored, size(stored), -1, 0, true},
    };
}

std::vector<Case> CompressedCases()
{
    const Bytes mixed = qmtest::MixedBytes(2 * qm::kWindowSize + 12345, 43);
    const Bytes mixedStream = qmpack::EncodeLz(mixed);
    const Bytes runs = qmtest::RunBytes(3 * qm::kWindowSize / 2, 44);
    const Bytes sound = qmtest::MixedSoundFile(300000, 45);  // LZ, audio, LZ; 1.2 MiB
    const auto size = [](const Bytes &b) { return static_cast<std::int32_t>(b.size()); };
    return {
        {"compressed", Kind::kCompressed, mixedStream, size(mixed)},
        {"compressed runs, long matches", Kind::kCompressed, qmpack::EncodeLz(runs), size(runs)},
        {"compressed, audio mode between", Kind::kCompressed,
         qmpack::EncodeLz(sound, qmtest::AudioOptions(qmpack::AudioMode::Auto)), size(sound)},
        {"compressed, the host stops at the first report", Kind::kCompressed, mixedStream, size(mixed), -1, 1},
        {"compressed, the host stops at the third report", Kind::kCompressed, mixedStream, size(mixed), -1, 3},
        {"compressed, every write fails", Kind::kCompressed, mixedStream, size(mixed), -1, 0, true},
        {"compressed, the stream cut at four fifths", Kind::kCompressed,
         Bytes(mixedStream.begin(), mixedStream.begin() + static_cast<std::ptrdiff_t>(mixedStream.size() * 4 / 5)),
         size(mixed)},
        {"random bytes taken for a stream", Kind::kCompressed, qmtest::RandomBytes(400000, 47), size(mixed)},
    };
}

void ExpectSameAsInline(const std::vector<Case> &cases)
{
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome inline_ = Transfer(c, Path::kInline);
        const Outcome behind = Transfer(c, Path::kBehind);
        EXPECT_EQ(behind.status, inline_.status);
        EXPECT_EQ(behind.calls, inline_.calls);
        EXPECT_TRUE(behind.output == inline_.output) << behind.output.size() << " bytes against "
                                                     << inline_.output.size();
        EXPECT_EQ(behind.dataCrc, inline_.dataCrc);
        EXPECT_EQ(behind.bytesDone, inline_.bytesDone);
        EXPECT_EQ(behind.unpackedLeft, inline_.unpackedLeft);
        // The comparison means something only if the cases reach what they are about.
        if (c.stopAt) {
            EXPECT_EQ(inline_.status, QM_STATUS_STOPPED);
            EXPECT_GE(inline_.calls.size(), static_cast<std::size_t>(c.stopAt));
        } else if (c.acceptNothing) {
            EXPECT_EQ(inline_.status, QM_STATUS_WRITE_FAILED);
        } else {
            EXPECT_EQ(inline_.status, QM_STATUS_OK);
            EXPECT_GT(inline_.calls.size(), 2u);
        }
    }
}

TEST(WriteBehind, StoredCopiesReportWriteAndEndAsInline) { ExpectSameAsInline(StoredCases()); }

TEST(WriteBehind, DecodingsReportWriteAndEndAsInline) { ExpectSameAsInline(CompressedCases()); }

TEST(WriteBehind, PiecesBehindAClosedGateAreNeverWritten)
{
    qmtest::TempDir dir;
    const std::string out = dir.File("out");
    qm::platform::File *file = qm::platform::OpenForWrite(out.c_str());
    ASSERT_NE(file, nullptr);
    const Bytes data = qmtest::RandomBytes(3000, 46);
    {
        qm::WriteBehind writer;
        ASSERT_TRUE(writer.Start(file, 0xFFFFFFFFu));
        writer.Submit(data.data(), 1000, true);
        writer.Submit(data.data() + 1000, 0, true);
        writer.Submit(data.data() + 1000, 1000, false, 1);
        writer.Submit(data.data() + 2000, 1000, true, 2);
        const qm::WriteBehind::Result first = writer.Take();
        EXPECT_EQ(first.asked, 1000u);
        EXPECT_EQ(first.written, 1000u);
        EXPECT_EQ(first.crc, qm::Crc32Data(0xFFFFFFFFu, data.data(), 1000));
        const qm::WriteBehind::Result empty = writer.Take();
        EXPECT_EQ(empty.written, 0u);
        writer.OpenGate(1);
        const qm::WriteBehind::Result second = writer.Take();
        EXPECT_EQ(second.written, 1000u);
        EXPECT_EQ(second.crc, first.crc);  // not folded
        EXPECT_EQ(writer.InFlight(), 1u);
        EXPECT_EQ(writer.Stop(), first.crc);
    }
    qm::platform::Close(file);
    EXPECT_EQ(qmpack::ReadFile(out), Bytes(data.begin(), data.begin() + 2000));
}

}  // namespace
