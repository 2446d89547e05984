// archive_reader.h - one open archive as an object: the walk over its header
// blocks and the reading of the current entry's data.
//
// Everything an archive needs lives in its ArchiveReader: the source, the
// passwords and their key schedules, the walk's position, the current entry
// and its transfer state, and (once a compressed entry is read) a decoder
// with its window.  Readers share nothing, so each may run in a thread of its
// own.
//
// The walk reads the archive as the exports do (signature record within the
// first 81,920 bytes, header block 1 found by its CRC, each block followed
// by its entry's data) and stops at the first damaged block.  Offsets are
// signed 32-bit, as the format has them: a block whose successor would lie
// beyond 2^31 - 1 is the last.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "archive/byte_source.h"
#include "crypto/cipher.h"
#include "quillmark_reader.h"
#include "unpack/stream_decoder.h"

namespace qm {

struct ReaderOptions {
    std::string dataPassword;    // Windows-1252
    std::string headerPassword;  // Windows-1252
    qm_password_fn callback = nullptr;
    void *user = nullptr;
};

// One entry as its header block describes it.
struct EntryRecord {
    std::string rawName;  // as stored (OEM code page, backslashes)
    std::string name;     // UTF-8, slashes
    std::int32_t cipherMethod;
    std::uint32_t dataCrc;
    std::int32_t packedSize;
    std::int32_t unpackedSize;
    std::uint32_t dosDateTime;
    std::uint32_t attributes;
    std::uint64_t dataPos;  // the first byte behind the header block
};

class ArchiveReader {
public:
    ArchiveReader(std::unique_ptr<ByteSource> source, ReaderOptions options, std::string archiveName);

    // Finds the signature and header block 1; 0 or a negative error.
    int Open();

    // 0 with *entry set, 1 at the end, or a negative error (which stays).
    int Next(const EntryRecord **entry);
    std::int64_t Count();

    std::int64_t Read(void *buffer, std::size_t size);
    int Skip();
    // Reads the entry to its end and checks it, asking again for the data
    // password while it does not fit.  Each piece read goes to sink (which
    // may be null); sink returns false to stop with QM_E_OUTPUT.
    using Sink = bool (*)(void *context, const void *data, std::size_t size);
    int ReadAll(Sink sink, void *context);
    int Test();
    // Writes the entry below the folder (see entry_extract.cpp).
    int Extract(const char *dirUtf8);

    void Cancel() { cancelled_.store(true, std::memory_order_relaxed); }

    const std::string &Message() const { return message_; }
    int SystemError() const { return systemError_; }
    const EntryRecord *Current() const { return hasEntry_ ? &entry_ : nullptr; }
    // Starts the current entry's data again (a new password to try).
    void RestartData() { data_.phase = Phase::kNotStarted; }
    // Asks for a new data password after the entry's data did not fit its
    // CRC: true when the host gave one.
    bool AskAgainForDataPassword();

private:
    enum class Phase { kNotStarted, kReading, kEnded, kFailed };

    struct DataState final : PackedSource {
        std::uint32_t ReadPacked(std::uint8_t *buffer, std::uint32_t count) override;

        ArchiveReader *reader = nullptr;
        Phase phase = Phase::kNotStarted;
        int error = 0;
        bool compressed = false;
        std::uint64_t packedPos = 0;
        std::uint32_t packedLeft = 0;
        std::int64_t left = 0;        // unpacked bytes still to hand out (stored entries)
        std::int64_t delivered = 0;
        std::uint32_t crc = 0xFFFFFFFFu;
        DataCipher cipher;
        int readError = 0;             // a failed read of the source, seen by the decoder
        bool readFailed = false;
        // Compressed entries: the decoder's pending bytes not yet handed out.
        PendingBytes pending{};
        bool pendingValid = false;
        bool decoderEnded = false;
        // Stored entries: deciphered bytes not yet handed out.
        std::uint32_t bufferPos = 0;
        std::uint32_t bufferLength = 0;
    };

    int Fail(int code, std::string message, int systemError = 0);
    int ReadRaw(std::uint64_t offset, void *buffer, std::size_t count, std::size_t *got);
    bool DecipherBlock(std::uint8_t *plain, const std::uint8_t *raw) const;
    int UnlockHeaders(const std::uint8_t *raw);
    int ReadBlock(std::uint64_t pos, EntryRecord &entry, std::int64_t *next);
    int BeginData();
    int EndOfData();
    std::int64_t ReadStored(std::uint8_t *out, std::size_t size);
    std::int64_t ReadCompressed(std::uint8_t *out, std::size_t size);
    int AskPassword(int kind, const std::string &nameUtf8, std::string *answer1252);

    std::unique_ptr<ByteSource> source_;
    ReaderOptions options_;
    std::string archiveName_;
    std::string message_;
    int systemError_ = 0;
    std::atomic<bool> cancelled_{false};
    bool passwordDeclined_ = false;  // the host gave up on the latest question

    bool headersEnciphered_ = false;
    DataCipher headerKey_;  // built once per header password
    std::int64_t firstBlockPos_ = -1;
    bool firstBlockLost_ = false;
    bool lossReported_ = false;
    std::int64_t walkPos_ = -1;  // -1: the walk has ended
    int walkError_ = 0;

    bool hasEntry_ = false;
    EntryRecord entry_{};
    DataState data_;

    std::unique_ptr<StreamDecoder> decoder_;
    std::unique_ptr<std::uint8_t[]> window_;
    std::unique_ptr<std::uint8_t[]> storedBuffer_;
};

}  // namespace qm
