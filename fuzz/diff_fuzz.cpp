// diff_fuzz.cpp - differential fuzz target: the library's stream decoder
// against the slow reference decoder of the tests (tests/reference).
//
// Input: bytes 0-2 the unpacked size (little-endian), the rest the stream,
// plain (not enciphered).  The size keeps its low 16 bits, or its low 21
// (up to 2 MiB, past the window's wrap) when bit 23 is set.  Bit 22 set
// runs the baseline build of the LZ fast loop where the decoder would take
// another (both are fuzzed on a processor with BMI2).
//
// Both decoders must produce the same bytes, and the library's data CRC must
// be the CRC of those bytes.  The library keeps its input buffer between
// entries and the last step of a stream cut short reads what lies there; the
// buffer is cleared first, as the reference assumes.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "extract/export_session.h"
#include "crypto/cipher.h"
#include "crypto/crc32.h"
#include "extract/pipeline.h"
#include "fuzz_support.h"
#include "packer/carrier_writer.h"
#include "reference/reference_decoder.h"
#include "unpack/bit_input.h"
#include "unpack/tables.h"
#include "unpack/stream_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 3)
        return 0;
    static std::vector<std::uint8_t> window(qm::kWindowSize);
    const std::uint32_t field = data[0] | data[1] << 8 | data[2] << 16;
    const std::uint32_t unpacked = field & (field & 0x800000 ? 0x1FFFFF : 0xFFFF);
    const std::vector<std::uint8_t> stream(data + 3, data + size);

    const std::string in = qmfuzz::ScratchRoot() + "packed.bin";
    const std::string out = qmfuzz::ScratchRoot() + "unpacked.bin";
    qmfuzz::WriteWhole(in, stream.data(), stream.size());

    // What the driver does for one compressed, plain entry.
    // A fresh session for every input: nothing carries over.
    const auto session = std::make_unique<qm::ExportSession>();
    qm::ExportSession &s = *session;
    s.carrier = qm::platform::OpenForRead(in.c_str());
    s.transfer.output = qm::platform::OpenForWrite(out.c_str());
    if (!s.carrier || !s.transfer.output)
        qmfuzz::Fail("cannot open the scratch files", in);
    s.transfer.packedLeft = static_cast<std::uint32_t>(stream.size());
    s.transfer.unpackedLeft = s.transfer.progressTotal = static_cast<std::int32_t>(unpacked);
    s.transfer.bytesDone = 0;
    s.transfer.dataCrc = 0xFFFFFFFFu;
    s.transfer.activeCipher = -1;
    s.cipher.SelectKey("", -1);
    s.transfer.readIvFirst = false;
    if (field & 0x400000)
        s.decoder.lzLoop = qm::LzLoop::Baseline;
    qm::UnpackStream(s, window.data());
    qm::platform::Close(s.carrier);
    qm::platform::Close(s.transfer.output);
    s.carrier = s.transfer.output = nullptr;
    const std::uint32_t libraryCrc = ~s.transfer.dataCrc;
    const qmpack::Bytes library = qmpack::ReadFile(out);

    const std::vector<std::uint8_t> reference = qmtest::ReferenceDecode(stream, unpacked);
    if (library != reference) {
        std::size_t at = 0;
        while (at < library.size() && at < reference.size() && library[at] == reference[at])
            ++at;
        qmfuzz::Fail("the library and the reference decode differently",
                     "library " + std::to_string(library.size()) + " bytes, reference " +
                         std::to_string(reference.size()) + " bytes, first difference at " + std::to_string(at));
    }
    if (libraryCrc != qmpack::Crc32(reference))
        qmfuzz::Fail("the data CRC is not the CRC of the bytes written", std::to_string(libraryCrc));
    if (s.status != 0)
        qmfuzz::Fail("the decoder set a status", std::to_string(s.status));
    return 0;
}
