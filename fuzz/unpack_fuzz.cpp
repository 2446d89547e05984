// unpack_fuzz.cpp - fuzz target for the stream decoder behind the reader,
// plain, enciphered and in audio mode.
//
// Input: byte 0 picks the setting, bytes 1-3 the unpacked size, the rest is
// the stream.  The size keeps 16 bits, or 21 with bit 5 (up to 2 MiB: past
// the 1 MiB window, so its wrap is reached); a damaged stream can run on to
// its size, and most runs stay short so.
//
//   byte 0  bits 0-1 cipher method: -1, 0 (DES), 1 (triple DES), 2 (chaining
//                    value only)
//           bit 2    encipher the stream first (under "fuzz"), so the decoder
//                    sees it as given; clear: the stream is the packed data
//                    as stored, deciphered into whatever it becomes
//           bit 3    set the stream's first bit: the audio-mode flag of its
//                    first table read
//           bit 4    decipher with a wrong password
//           bit 5    a large unpacked size
//
// The decoder must end, produce at most the unpacked size, stay inside its
// buffers and set no status of its own.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "extract/export_session.h"
#include "crypto/cipher.h"
#include "crypto/crc32.h"
#include "crypto/des.h"
#include "extract/pipeline.h"
#include "fuzz_support.h"
#include "unpack/tables.h"
#include "unpack/stream_decoder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::int32_t kMethods[4] = {-1, 0, 1, 2};
constexpr std::uint8_t kChaining[8] = {0x13, 0x57, 0x9B, 0xDF, 0x02, 0x46, 0x8A, 0xCE};

void PadToBlocks(Bytes &data)
{
    data.resize((data.size() + 7) / 8 * 8, 0);
}

// The packed data of `stream` as an entry of `method` stores it under the
// password's key: what the packer would write.
Bytes Encipher(Bytes stream, std::int32_t method, const char *password)
{
    std::uint8_t key[16];
    qm::PasswordDigest(password, key);
    qm::DesSchedule k1{}, k2{};
    qm::BuildDesSchedule(key, qm::DesDirection::Encrypt, k1);
    qm::BuildDesSchedule(key + 8, qm::DesDirection::Decrypt, k2);
    Bytes out;
    switch (method) {
    case 0:
        PadToBlocks(stream);
        qm::DesBlocks(stream.data(), stream.size() / 8, k1);
        return stream;
    case 1: {
        PadToBlocks(stream);
        out.assign(kChaining, kChaining + 8);
        std::uint8_t chain[8];
        std::memcpy(chain, kChaining, 8);
        for (std::size_t i = 0; i < stream.size(); i += 8) {
            std::uint8_t block[8];
            for (int j = 0; j < 8; ++j)
                block[j] = stream[i + j] ^ chain[j];
            qm::DesBlock(block, k1);
            qm::DesBlock(block, k2);
            qm::DesBlock(block, k1);
            std::memcpy(chain, block, 8);
            out.insert(out.end(), block, block + 8);
        }
        return out;
    }
    case 2:
        out.assign(kChaining, kChaining + 8);
        out.insert(out.end(), stream.begin(), stream.end());
        return out;
    default:
        return stream;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 4)
        return 0;
    static std::vector<std::uint8_t> window(qm::kWindowSize);
    const std::uint8_t setting = data[0];
    const std::int32_t method = kMethods[setting & 3];
    const std::uint32_t sizeMask = setting & 32 ? 0x1FFFFF : 0xFFFF;
    const std::int32_t unpacked = static_cast<std::int32_t>((data[1] | data[2] << 8 | data[3] << 16) & sizeMask);

    Bytes stream(data + 4, data + size);
    if ((setting & 8) && !stream.empty())
        stream[0] |= 0x80;
    const Bytes packed = setting & 4 ? Encipher(stream, method, "fuzz") : stream;
    const std::string in = qmfuzz::ScratchRoot() + "packed.bin";
    qmfuzz::WriteWhole(in, packed.data(), packed.size());

    // What the driver does for one compressed entry.
    // A fresh session for every input: nothing carries over.
    const auto session = std::make_unique<qm::ExportSession>();
    qm::ExportSession &s = *session;
    s.carrier = qm::platform::OpenForRead(in.c_str());
    s.transfer.output = qm::platform::OpenForWrite("/dev/null");
    if (!s.carrier || !s.transfer.output)
        qmfuzz::Fail("cannot open the scratch files", in);
    s.transfer.packedLeft = static_cast<std::uint32_t>(packed.size());
    s.transfer.unpackedLeft = s.transfer.progressTotal = unpacked;
    s.transfer.bytesDone = 0;
    s.transfer.dataCrc = 0xFFFFFFFFu;
    s.transfer.activeCipher = s.archive.SessionCipher = method;
    s.cipher.SelectKey(setting & 16 ? "wrong" : "fuzz", method);
    s.transfer.readIvFirst = method == 1 || method == 2;
    qm::UnpackStream(s, window.data());
    qm::platform::Close(s.carrier);
    qm::platform::Close(s.transfer.output);
    s.carrier = s.transfer.output = nullptr;

    if (s.transfer.bytesDone < 0 || s.transfer.bytesDone > unpacked)
        qmfuzz::Fail("the decoder produced more than the unpacked size",
                     std::to_string(s.transfer.bytesDone) + " of " + std::to_string(unpacked));
    if (s.status != 0)
        qmfuzz::Fail("the decoder set a status", std::to_string(s.status));
    return 0;
}
