// unpack_harness.h - runs the stream decoder below the exports: a real
// carrier file positioned at a stream, a real output file, the transfer
// state set as the extraction driver sets it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "api/status.h"
#include "container/session.h"
#include "crypto/crc32.h"
#include "extract/pipeline.h"
#include "support/temp_dir.h"
#include "unpack/tables.h"
#include "unpack/unpack.h"

namespace qmtest {

struct Decoded {
    qmpack::Bytes output;   // the output file's bytes
    std::uint32_t crc;      // the complemented data CRC
    std::uint16_t status;   // ArchiveStatus afterwards
};

// Decodes the stream of packedSize bytes at offset of the carrier file.
inline Decoded DecodeAt(const std::string &carrier, std::int64_t offset, std::uint32_t packedSize,
                        std::int32_t unpackedSize)
{
    TempDir dir;
    const std::string outPath = dir.File("out.bin");
    qm::BuildCrc32Table();
    qm::ArchiveStatus = 0;
    qm::CarrierStream = qm::platform::OpenForRead(carrier.c_str());
    qm::OutputStream = qm::platform::OpenForWrite(outPath.c_str());
    Decoded result{};
    if (!qm::CarrierStream || !qm::OutputStream || !qm::platform::Seek(qm::CarrierStream, offset)) {
        ADD_FAILURE() << "cannot open the carrier or the output";
        return result;
    }
    qm::PackedLeft = packedSize;
    qm::UnpackedLeft = unpackedSize;
    qm::ProgressTotal = unpackedSize;
    qm::DataCrc = 0xFFFFFFFFu;
    qm::ActiveCipher = -1;
    qm::ReadIvFirst = false;
    std::vector<std::uint8_t> window(qm::kWindowSize);
    qm::UnpackStream(window.data());
    qm::platform::Close(qm::CarrierStream);
    qm::platform::Close(qm::OutputStream);
    qm::CarrierStream = nullptr;
    qm::OutputStream = nullptr;
    result.output = qmpack::ReadFile(outPath);
    result.crc = ~qm::DataCrc;
    result.status = qm::ArchiveStatus;
    return result;
}

// Decodes a stream held in memory (written to a file first).
inline Decoded DecodeStream(const qmpack::Bytes &stream, std::int32_t unpackedSize)
{
    TempDir dir;
    const std::string path = dir.Write("stream.bin", stream);
    return DecodeAt(path, 0, static_cast<std::uint32_t>(stream.size()), unpackedSize);
}

}  // namespace qmtest
