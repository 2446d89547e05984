// entry_packer.cpp - packing one file as it is read (see entry_packer.h).
#include "qmpack/entry_packer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include "packer/carrier_writer.h"
#include "packer_crypto/packer_crypto.h"

namespace qmpack {

namespace {

constexpr std::size_t kPiece = std::size_t{1} << 20;
// The largest entry: sizes in the format are signed 32-bit.
constexpr std::uint64_t kLargestEntry = 0x7FFFFFF0;

// The file being read, with the CRC of what was read.
class Input {
public:
    explicit Input(const std::string &path) : fd_(open(path.c_str(), O_RDONLY)) { error_ = fd_ < 0 ? errno : 0; }
    ~Input()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    Input(const Input &) = delete;
    Input &operator=(const Input &) = delete;

    // Up to size bytes; 0 at the end, or after a failure (see problem()).
    std::size_t Read(std::uint8_t *data, std::size_t size)
    {
        if (error_ || tooLarge_)
            return 0;
        for (;;) {
            const ssize_t got = read(fd_, data, size);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                error_ = errno;
                return 0;
            }
            const auto n = static_cast<std::size_t>(got);
            if (bytes_ + n > kLargestEntry) {
                tooLarge_ = true;
                return 0;
            }
            crc_ = Crc32(data, n, crc_);
            bytes_ += n;
            return n;
        }
    }

    // Back to the start, for a second reading.
    bool Rewind()
    {
        if (!error_ && lseek(fd_, 0, SEEK_SET) != 0)
            error_ = errno;
        bytes_ = 0;
        crc_ = 0;
        return !error_;
    }

    std::string problem() const
    {
        if (error_)
            return std::string("cannot be read: ") + std::strerror(error_);
        if (tooLarge_)
            return "is larger than an archive entry can be (2 GiB)";
        return {};
    }
    std::uint64_t bytes() const { return bytes_; }
    std::uint32_t crc() const { return crc_; }

private:
    int fd_;
    int error_ = 0;
    bool tooLarge_ = false;
    std::uint64_t bytes_ = 0;
    std::uint32_t crc_ = 0;
};

// The entry's bytes on their way into the archive: enciphered, counted.
class EntryData {
public:
    EntryData(ArchiveOutput &out, const PackSettings &s, const ChainingBlock &chaining)
        : out_(out), cipher_(s.cipher, s.password, chaining)
    {
        cipher_.Start(pending_);
    }

    bool Add(const std::uint8_t *data, std::size_t size)
    {
        cipher_.Update(data, size, pending_);
        return Flush();
    }
    bool Finish()
    {
        cipher_.Finish(pending_);
        return Flush();
    }
    std::uint64_t written() const { return written_; }
    bool failed() const { return failed_; }

private:
    bool Flush()
    {
        if (!out_.Write(pending_.data(), pending_.size())) {
            failed_ = true;
            return false;
        }
        written_ += pending_.size();
        pending_.clear();
        return true;
    }

    ArchiveOutput &out_;
    DataEncipherer cipher_;
    Bytes pending_;
    std::uint64_t written_ = 0;
    bool failed_ = false;
};

}  // namespace

PackResult PackFile(ArchiveOutput &out, const FoundFile &file, const std::string &storedName,
                    const PackSettings &settings, std::mt19937 &rng, const PackProgress &progress)
{
    PackResult result;
    const std::uint64_t headerAt = out.Size();
    const std::uint64_t dataAt = headerAt + kHeaderBlockSize;
    const std::array<std::uint8_t, kHeaderBlockSize> placeholder{};
    auto outputFailed = [&] {
        result.outcome = PackResult::Outcome::OutputFailed;
        return result;
    };
    if (!out.Write(placeholder.data(), placeholder.size()))
        return outputFailed();

    Input input(file.path);
    auto inputFailed = [&] {
        result.outcome = PackResult::Outcome::InputFailed;
        result.problem = input.problem();
        if (!out.CutTo(headerAt))
            result.outcome = PackResult::Outcome::OutputFailed;
        return result;
    };
    if (!input.problem().empty())
        return inputFailed();

    ChainingBlock chaining;
    for (auto &b : chaining)
        b = static_cast<std::uint8_t>(rng());
    const ByteSource source = [&](std::uint8_t *data, std::size_t size) {
        const std::size_t n = input.Read(data, std::min(size, kPiece));
        progress(input.bytes());
        return n;
    };

    bool compressed = false;
    std::uint64_t stored = 0;
    if (settings.method != Method::Store && file.size > 0) {
        EntryData data(out, settings, chaining);
        // Compressed bytes that reach the file's size cannot make it smaller.
        const ByteSink sink = [&](const std::uint8_t *bytes, std::size_t size) {
            return data.Add(bytes, size) && data.written() < file.size;
        };
        EncoderOptions encoder = settings.encoder;
        encoder.audio = settings.method == Method::Audio  ? AudioMode::Always
                        : settings.method == Method::Auto ? AudioMode::Auto
                                                          : AudioMode::Never;
        const bool whole = EncodeStream(source, sink, encoder) && data.Finish();
        if (data.failed())
            return outputFailed();
        if (!input.problem().empty())
            return inputFailed();
        compressed = whole && data.written() < input.bytes();
        stored = data.written();
    }
    if (!compressed) {
        if (!out.CutTo(dataAt))
            return outputFailed();
        if (!input.Rewind())
            return inputFailed();
        EntryData data(out, settings, chaining);
        std::vector<std::uint8_t> piece(kPiece);
        for (std::size_t n; (n = source(piece.data(), piece.size())) > 0;)
            if (!data.Add(piece.data(), n))
                return outputFailed();
        if (!data.Finish())
            return outputFailed();
        if (!input.problem().empty())
            return inputFailed();
        stored = data.written();
    }

    EntrySpec entry;
    entry.name = storedName;
    entry.cipherMethod = settings.cipher;
    entry.dataCrc = input.crc();
    entry.unpackedSize = static_cast<std::int32_t>(input.bytes());
    entry.packedSize = static_cast<std::int32_t>(stored);
    entry.dosDateTime = file.dosDateTime;
    entry.attributes = file.attributes;
    auto block = BuildHeaderBlock(entry);
    if (settings.encipherHeader)
        settings.encipherHeader(block.data());
    if (!out.WriteAt(headerAt, block.data(), block.size()))
        return outputFailed();
    result.size = input.bytes();
    result.stored = stored;
    if (input.bytes() != file.size)
        result.problem = "changed while it was read (packed as read: " + std::to_string(input.bytes()) +
                         " bytes, not " + std::to_string(file.size) + ")";
    return result;
}

}  // namespace qmpack
