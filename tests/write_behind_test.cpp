// The transfers of large entries with their writes on the writer thread,
// each against the same transfer written inline on the same input: the
// progress reports (their arguments and order), the status, the output
// file's bytes, the data CRC and the counters must all come out the same, also
// when the host stops the entry or the file takes no bytes.  Under
// ThreadSanitizer this suite is also the writer thread's race check.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "audio_inputs.h"
#include "crypto/cipher.h"
#include "crypto/crc32.h"
#include "crypto/des.h"
#include "encoder_inputs.h"
#include "extract/export_session.h"
#include "extract/pipeline.h"
#include "extract/transfer_behind.h"
#include "extract/write_behind.h"
#include "packer/carrier_writer.h"
#include "packer/encoder.h"
#include "quillmark.h"
#include "support/temp_dir.h"
#include "unpack/tables.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

namespace {

using qmpack::Bytes;

enum class Kind { kStored, kCompressed };
// kOffsets: the stored copy on two threads reading and writing at offsets,
// where it applies; otherwise it must leave everything to the inline copy.
// kCopied: the decoding with copies of its deliveries written behind.
// kReadAhead: the same with the packed data read ahead on the writer thread
// (the form UnpackStream takes for large entries).
enum class Path { kInline, kBehind, kOffsets, kCopied, kReadAhead };

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
    std::uint32_t packedLeft;
    bool tookOffsets = false;  // kOffsets: the copy at offsets applied
    bool readIvFirst = false;
    std::array<std::uint8_t, 8> chaining{};  // the key's chaining value afterwards
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
    std::uint32_t missing = 0;   // the header promises this many bytes more than the carrier holds
    std::uint32_t plainCrc = 0;  // the CRC of the entry's bytes, where the case must decode them (0: any)
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
    const bool chained = c.method == 1 || c.method == 2;
    transfer.packedLeft = static_cast<std::uint32_t>(c.packed.size() - (chained ? 8 : 0)) + c.missing;
    transfer.unpackedLeft = transfer.progressTotal = c.unpackedSize + static_cast<std::int32_t>(c.missing);
    transfer.dataCrc = 0xFFFFFFFFu;
    transfer.activeCipher = c.method;
    transfer.readIvFirst = chained;
    session.cipher.SelectKey("pw", c.method);
    static std::vector<std::uint8_t> window(qm::kWindowSize);
    SourceOfPipeline source(session);
    bool tookOffsets = false;
    if (c.kind == Kind::kStored) {
        if (path == Path::kInline) {
            qm::CopyStoredInline(session);
        } else if (path == Path::kOffsets) {
            tookOffsets = qm::CopyStoredAtOffsets(session);
            if (!tookOffsets)
                qm::CopyStoredInline(session);
        } else {
            EXPECT_TRUE(qm::CopyStoredBehind(session));
        }
    } else {
        if (path == Path::kInline)
            qm::UnpackStreamInline(session, window.data());
        else if (path == Path::kReadAhead)
            EXPECT_TRUE(qm::UnpackStreamReadAhead(session, window.data()));
        else if (path == Path::kCopied)
            EXPECT_TRUE(qm::UnpackStreamCopiedBehind(session, &source, window.data()));
        else
            EXPECT_TRUE(qm::UnpackStreamBehind(session, &source, window.data()));
    }
    session.callbacks.progress = {};
    qm::platform::Close(session.carrier);
    qm::platform::Close(transfer.output);
    session.carrier = nullptr;
    transfer.output = nullptr;
    Outcome outcome{std::move(host.calls),  qmpack::ReadFile(out),  transfer.dataCrc, session.status,
                    transfer.bytesDone,     transfer.unpackedLeft, transfer.packedLeft, tookOffsets,
                    transfer.readIvFirst};
    std::memcpy(outcome.chaining.data(), session.cipher.chaining, 8);
    return outcome;
}

// The bytes stored for cipher method 1 under the password "pw": a chaining
// value, then plain zero-padded to whole blocks and enciphered with two-key
// triple DES in CBC mode (each block XORed with the one before and run
// through K1, K2 backwards and K1).
Bytes EncipherMethod1(const Bytes &plain)
{
    std::uint8_t key[16];
    qm::PasswordDigest("pw", key);
    qm::DesSchedule k1;
    qm::DesSchedule k2;
    qm::BuildDesSchedule(key, qm::DesDirection::Encrypt, k1);
    qm::BuildDesSchedule(key + 8, qm::DesDirection::Decrypt, k2);
    Bytes stored = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE};
    std::uint8_t chaining[8];
    std::memcpy(chaining, stored.data(), 8);
    for (std::size_t at = 0; at < plain.size(); at += 8) {
        std::uint8_t block[8] = {};
        std::memcpy(block, plain.data() + at, std::min<std::size_t>(8, plain.size() - at));
        for (int k = 0; k < 8; ++k)
            block[k] ^= chaining[k];
        qm::DesBlock(block, k1);
        qm::DesBlock(block, k2);
        qm::DesBlock(block, k1);
        std::memcpy(chaining, block, 8);
        stored.insert(stored.end(), block, block + 8);
    }
    return stored;
}

std::vector<Case> StoredCases()
{
    const Bytes stored = qmtest::RandomBytes(3 * qm::kWindowSize / 2 + 12345, 41);
    Bytes chained(8, 0x5A);
    const Bytes tail = qmtest::RandomBytes(5 * qm::kWindowSize / 4 + 3, 42);
    chained.insert(chained.end(), tail.begin(), tail.end());
    chained.resize(8 + ((tail.size() + 7) & ~std::size_t{7}), 0);  // whole cipher blocks
    // Whole blocks only, an odd number of them: the last block is the
    // calling thread's and full.
    const Bytes wholeBlocks = qmtest::RandomBytes(5 * qm::kCopyBlockSize, 48);
    const auto size = [](const Bytes &b) { return static_cast<std::int32_t>(b.size()); };
    return {
        {"stored", Kind::kStored, stored, size(stored)},
        {"stored, method 2 with a padded last block", Kind::kStored, chained, size(tail), 2},
        {"stored, the host stops at report 40", Kind::kStored, stored, size(stored), -1, 40},
        {"stored, every write fails", Kind::kStored, stored, size(stored), -1, 0, true},
        {"stored, five whole blocks", Kind::kStored, wholeBlocks, size(wholeBlocks)},
        // The carrier ends inside the second thread's block, then exactly
        // at the end of one of its blocks.
        {"stored, the carrier ends inside a block", Kind::kStored, stored, size(stored), -1, 0, false, 600000},
        {"stored, the carrier ends at a block's end", Kind::kStored,
         Bytes(stored.begin(), stored.begin() + 2 * qm::kCopyBlockSize), 2 * qm::kCopyBlockSize, -1, 0, false,
         qm::kCopyBlockSize + 5},
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

// The decoder's packed bytes read ahead on the writer thread: an entry
// enciphered across many read blocks, carriers that end inside the
// read-ahead, and entries that end around a read block's end.
std::vector<Case> ReadAheadCases()
{
    const Bytes mixed = qmtest::MixedBytes(2 * qm::kWindowSize + 12345, 43);
    const Bytes stream = qmpack::EncodeLz(mixed);
    constexpr std::size_t kBlock = qm::kPackedBlockSize;
    // The cuts below fall inside the stream, late enough that more than
    // two deliveries come before them.
    const std::size_t blocks = stream.size() / kBlock - 1;
    EXPECT_GE(blocks, 3u);
    const auto size = [](const Bytes &b) { return static_cast<std::int32_t>(b.size()); };
    const Bytes enciphered = EncipherMethod1(stream);
    std::vector<Case> cases = {
        {"method 1, many blocks", Kind::kCompressed, enciphered, size(mixed), 1, 0, false, 0, qmpack::Crc32(mixed)},
        {"method 1, the host stops at the second report", Kind::kCompressed, enciphered, size(mixed), 1, 2},
        {"method 1, every write fails", Kind::kCompressed, enciphered, size(mixed), 1, 0, true},
        {"method 1, the carrier ends inside the third block", Kind::kCompressed,
         Bytes(enciphered.begin(), enciphered.begin() + 8 + 2 * kBlock + 4000), size(mixed), 1, 0, false, 5000},
    };
    for (const std::size_t end : {blocks * kBlock - 1, blocks * kBlock, blocks * kBlock + 1, blocks * kBlock + 1000}) {
        const Bytes cut(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(end));
        cases.push_back({"the entry ends around a block's end", Kind::kCompressed, cut, size(mixed)});
        cases.push_back(
            {"the carrier ends around a block's end", Kind::kCompressed, cut, size(mixed), -1, 0, false, 7000});
    }
    return cases;
}

// Only the POSIX side reads and writes at offsets; on Windows a plain stored
// entry keeps the copy with the writes on the other thread.
#ifdef _WIN32
constexpr bool kCopiesAtOffsets = false;
#else
constexpr bool kCopiesAtOffsets = true;
#endif

// What a path must give as the inline path does: status, reports, bytes,
// CRC and counters.
void ExpectSameOutcome(const char *what, const Outcome &path, const Outcome &inline_)
{
    SCOPED_TRACE(what);
    EXPECT_EQ(path.status, inline_.status);
    EXPECT_EQ(path.calls, inline_.calls);
    EXPECT_TRUE(path.output == inline_.output) << path.output.size() << " bytes against " << inline_.output.size();
    EXPECT_EQ(path.dataCrc, inline_.dataCrc);
    EXPECT_EQ(path.bytesDone, inline_.bytesDone);
    EXPECT_EQ(path.unpackedLeft, inline_.unpackedLeft);
}

void ExpectSameAsInline(const std::vector<Case> &cases)
{
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome inline_ = Transfer(c, Path::kInline);
        const Outcome behind = Transfer(c, Path::kBehind);
        ExpectSameOutcome("behind", behind, inline_);
        // The comparison means something only if the cases reach what they are about.
        if (c.kind == Kind::kCompressed) {
            const Outcome ahead = Transfer(c, Path::kReadAhead);
            ExpectSameOutcome("ahead", ahead, inline_);
            // The reader's state too ends as inline, the read-ahead's blocks
            // being the inline source's reads, where the decoder ran to the
            // end (after a stop or a failed write it decodes further than
            // inline, and so takes more blocks).
            if (inline_.status == QM_STATUS_OK) {
                EXPECT_EQ(ahead.packedLeft, inline_.packedLeft);
                EXPECT_EQ(ahead.chaining, inline_.chaining);
            }
            EXPECT_EQ(ahead.readIvFirst, inline_.readIvFirst);

            const Outcome copied = Transfer(c, Path::kCopied);
            ExpectSameOutcome("copied", copied, inline_);
        }
        if (c.kind == Kind::kStored) {
            const Outcome offsets = Transfer(c, Path::kOffsets);
            EXPECT_EQ(offsets.tookOffsets, kCopiesAtOffsets && c.method == QM_CIPHER_NONE && !c.acceptNothing);
            ExpectSameOutcome("offsets", offsets, inline_);
            EXPECT_EQ(offsets.packedLeft, inline_.packedLeft);
        }
        if (c.plainCrc) {
            EXPECT_EQ(inline_.status, QM_STATUS_OK);
            EXPECT_EQ(~inline_.dataCrc, c.plainCrc);
        }
        if (c.missing) {
            EXPECT_EQ(inline_.status, QM_STATUS_OK);
            EXPECT_EQ(inline_.packedLeft, c.missing);  // the copy ended where the carrier did
        } else if (c.stopAt) {
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

// The copy on the writer thread and the copy at offsets on two threads
// against the inline copy.
TEST(WriteBehind, StoredCopiesReportWriteAndEndAsInline) { ExpectSameAsInline(StoredCases()); }

// The decoding that hands out its window and the one that hands out copies
// against the inline decoding.
TEST(WriteBehind, DecodingsReportWriteAndEndAsInline) { ExpectSameAsInline(CompressedCases()); }

// The same with the cases that concern the read-ahead most.
TEST(WriteBehind, DecodingsReadAheadReportWriteAndEndAsInline) { ExpectSameAsInline(ReadAheadCases()); }

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

// ---- a large stored entry extracted end to end ---------------------------------------
//
// Through the exports, on real files: the copy of a large stored entry (on
// two threads at offsets where the platform allows) must end every failure
// in its status with neither the output nor its temporary file left.

// A stored entry of 3 MB behind a 300-byte prefix, so that its data starts
// at no particular place in the carrier.
constexpr std::size_t kLargeEntry = 3 * 1000 * 1000 + 17;

struct LargeRun {
    qmtest::TempDir dir;
    std::filesystem::path out = dir.path() / "out";
    std::string carrier;
    Bytes data = qmtest::RandomBytes(kLargeEntry, 51);
    std::size_t dataStart = 0;  // where the entry's data begins in the carrier

    explicit LargeRun(bool damage = false)
    {
        std::filesystem::create_directory(out);
        qmpack::CarrierSpec layout;
        layout.prefix = Bytes(300, 0x33);
        layout.entries.push_back(qmpack::StoredEntry("BIG.BIN", data));
        if (damage)
            layout.entries.back().stored[kLargeEntry / 2] ^= 0x01;
        const Bytes bytes = qmpack::BuildCarrier(layout);
        dataStart = bytes.size() - kLargeEntry;
        carrier = dir.Write("carrier.bin", bytes);
    }

    // Opens the carrier and extracts everything into out/; the status.
    std::uint16_t Extract(SetProgressProc progress = nullptr, QmUserValue user = 0) const
    {
        // Every extraction wants a data password, plain entries too.
        ArcOpenParams params;
        std::memset(&params, 0, sizeof params);
        std::strcpy(params.dataPassword, "pw");
        InitHidFile(carrier.c_str(), &params);
        if (GetArchiveStatus() != 0)
            return GetArchiveStatus();
        std::string folder = out.string();
        for (char &c : folder)
            if (c == '/')
                c = '\\';
        SetOutputPath(folder.c_str());
        SetSetProgressProc(user, progress);
        FileMaskList masks;
        InitFileMaskList(&masks);
        ExtractFileMaskListArc(&masks);
        const std::uint16_t status = GetArchiveStatus();
        DoneFileMaskList(&masks);
        DoneArcFile(0);
        SetSetProgressProc(0, nullptr);
        SetOutputPath("");
        SetArchiveStatus(0);
        return status;
    }

    std::vector<std::string> Left() const
    {
        std::vector<std::string> names;
        for (const auto &e : std::filesystem::directory_iterator(out))
            names.push_back(e.path().filename().string());
        return names;
    }
};

TEST(WriteBehind, ALargeStoredEntryComesOutWhole)
{
    const LargeRun run;
    EXPECT_EQ(run.Extract(), QM_STATUS_OK);
    EXPECT_EQ(run.Left(), std::vector<std::string>{"BIG.BIN"});
    EXPECT_TRUE(qmpack::ReadFile((run.out / "BIG.BIN").string()) == run.data);
}

TEST(WriteBehind, ALargeStoredEntryWhoseCrcDoesNotMatchIsRemovedAndReported)
{
    const LargeRun run(true);
    EXPECT_EQ(run.Extract(), QM_STATUS_CRC_MISMATCH);
    EXPECT_TRUE(run.Left().empty());
}

TEST(WriteBehind, ACarrierCutShortEndsInAMismatchAndLeavesNothing)
{
    // Cut inside the first block, inside a later one, and one byte short.
    for (std::size_t keep : {std::size_t{1000}, kLargeEntry / 2 + 3, kLargeEntry - 1}) {
        SCOPED_TRACE(keep);
        const LargeRun run;
        std::filesystem::resize_file(run.carrier, run.dataStart + keep);
        EXPECT_EQ(run.Extract(), QM_STATUS_CRC_MISMATCH);
        EXPECT_TRUE(run.Left().empty());
    }
}

// The host cuts the carrier at its first progress report, while the copy
// is going on: the copy may have read everything before the cut (the entry
// is then whole) or not (a mismatch, nothing left); never anything else.
struct Cutter {
    std::string carrier;
    std::uintmax_t size;
    bool cut = false;
};

std::int32_t QM_CALL CutAtFirstReport(QmUserValue user, std::int32_t, std::int32_t)
{
    auto *cutter = reinterpret_cast<Cutter *>(user);
    if (!cutter->cut) {
        cutter->cut = true;
        std::filesystem::resize_file(cutter->carrier, cutter->size);
    }
    return 1;
}

TEST(WriteBehind, ACarrierCutUnderTheCopyEndsWholeOrInAMismatch)
{
    for (std::size_t keep : {std::size_t{600000}, std::size_t{2000000}}) {
        SCOPED_TRACE(keep);
        const LargeRun run;
        Cutter cutter{run.carrier, run.dataStart + keep};
        const std::uint16_t status = run.Extract(CutAtFirstReport, reinterpret_cast<QmUserValue>(&cutter));
        EXPECT_TRUE(cutter.cut);
        if (status == QM_STATUS_OK) {
            EXPECT_TRUE(qmpack::ReadFile((run.out / "BIG.BIN").string()) == run.data);
        } else {
            EXPECT_EQ(status, QM_STATUS_CRC_MISMATCH);
            EXPECT_TRUE(run.Left().empty());
        }
    }
}

#ifndef _WIN32
// A file-size limit makes the system refuse the writes past 1 MB: a write
// error, which ends the entry and removes its file.
TEST(WriteBehind, AWriteErrorEndsALargeStoredEntryAndLeavesNothing)
{
    const LargeRun run;
    struct rlimit before;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    struct rlimit limited = before;
    limited.rlim_cur = 1000000;
    void (*const handler)(int) = signal(SIGXFSZ, SIG_IGN);  // EFBIG rather than the signal
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const std::uint16_t status = run.Extract();
    setrlimit(RLIMIT_FSIZE, &before);
    signal(SIGXFSZ, handler);
    EXPECT_EQ(status, QM_STATUS_WRITE_FAILED);
    EXPECT_TRUE(run.Left().empty());
}
#endif

}  // namespace

