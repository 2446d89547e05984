// unpack_harness.h - runs the stream decoder below the exports: a real
// carrier file positioned at a stream, a real output file, the transfer
// state set as the extraction driver sets it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "crypto/crc32.h"
#include "extract/export_session.h"
#include "extract/pipeline.h"
#include "support/temp_dir.h"
#include "unpack/tables.h"
#include "unpack/stream_decoder.h"

namespace qmtest {

struct Decoded {
    qmpack::Bytes output;   // the output file's bytes
    std::uint32_t crc;      // the complemented data CRC
    std::uint16_t status;   // the session's status afterwards
};

struct DecodeOptions {
    // The output stream is a file opened for reading, which takes no bytes
    // (a full disk, in effect).
    bool acceptNothing = false;
    // Where the files go; a fresh directory when null.
    const TempDir *workDir = nullptr;
    // The entry's cipher method and the data password its key comes from.
    qm::CipherMethod method = -1;
    const char *password = "";
    // The session to decode in (its callbacks count; its transfer state can
    // be read afterwards); a fresh one when null.
    qm::ExportSession *session = nullptr;
};

// Decodes the stream of packedSize bytes at offset of the carrier file, set
// up as the extraction driver sets up an entry.
inline Decoded DecodeAt(const std::string &carrier, std::int64_t offset, std::uint32_t packedSize,
                        std::int32_t unpackedSize, const DecodeOptions &options = {})
{
    std::optional<TempDir> ownDir;
    if (!options.workDir)
        ownDir.emplace();
    const TempDir &dir = options.workDir ? *options.workDir : *ownDir;
    const std::string outPath = dir.File("out.bin");
    // Unless the caller gives one, a session of its own for every stream:
    // nothing carries over.
    std::unique_ptr<qm::ExportSession> ownSession;
    if (!options.session)
        ownSession = std::make_unique<qm::ExportSession>();
    qm::ExportSession &s = options.session ? *options.session : *ownSession;
    s.carrier = qm::platform::OpenForRead(carrier.c_str());
    if (options.acceptNothing) {
        qmpack::WriteFile(outPath, {});
        s.transfer.output = qm::platform::OpenForRead(outPath.c_str());
    } else {
        s.transfer.output = qm::platform::OpenForWrite(outPath.c_str());
    }
    Decoded result{};
    if (!s.carrier || !s.transfer.output || !qm::platform::Seek(s.carrier, offset)) {
        ADD_FAILURE() << "cannot open the carrier or the output";
        return result;
    }
    s.transfer.packedLeft = packedSize;
    s.transfer.unpackedLeft = unpackedSize;
    s.transfer.progressTotal = unpackedSize;
    s.transfer.dataCrc = 0xFFFFFFFFu;
    s.transfer.activeCipher = options.method;
    s.cipher.SelectKey(options.password, options.method);
    s.transfer.readIvFirst = options.method == 1 || options.method == 2;
    static std::vector<std::uint8_t> window(qm::kWindowSize);
    qm::UnpackStream(s, window.data());
    qm::platform::Close(s.carrier);
    qm::platform::Close(s.transfer.output);
    s.carrier = nullptr;
    s.transfer.output = nullptr;
    result.output = qmpack::ReadFile(outPath);
    result.crc = ~s.transfer.dataCrc;
    result.status = s.status;
    return result;
}

// Decodes a stream held in memory (written to a file first).
inline Decoded DecodeStream(const qmpack::Bytes &stream, std::int32_t unpackedSize,
                            const DecodeOptions &options = {})
{
    std::optional<TempDir> ownDir;
    if (!options.workDir)
        ownDir.emplace();
    const TempDir &dir = options.workDir ? *options.workDir : *ownDir;
    DecodeOptions inDir = options;
    inDir.workDir = &dir;
    const std::string path = dir.Write("stream.bin", stream);
    return DecodeAt(path, 0, static_cast<std::uint32_t>(stream.size()), unpackedSize, inDir);
}

// Writes bits most significant first, for hand-built streams.
struct BitSink {
    qmpack::Bytes out;
    int bit = 0;
    void Bits(std::uint32_t value, int count)
    {
        for (int k = count - 1; k >= 0; --k) {
            if (bit == 0)
                out.push_back(0);
            if ((value >> k) & 1)
                out.back() |= static_cast<std::uint8_t>(0x80 >> bit);
            bit = (bit + 1) & 7;
        }
    }
};

}  // namespace qmtest
