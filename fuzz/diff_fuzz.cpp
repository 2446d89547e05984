// diff_fuzz.cpp - differential fuzz target: the library's stream decoder
// against the slow reference decoder of the tests (tests/reference).
//
// Input: bytes 0-2 the unpacked size (little-endian), the rest the stream,
// plain (not enciphered).  The size keeps its low 16 bits, or its low 21
// (up to 2 MiB, past the window's wrap) when bit 23 is set.
//
// Both decoders must produce the same bytes, and the library's data CRC must
// be the CRC of those bytes.  The library keeps its input buffer between
// entries and the last step of a stream cut short reads what lies there; the
// buffer is cleared first, as the reference assumes.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "container/session.h"
#include "crypto/cipher.h"
#include "crypto/crc32.h"
#include "extract/pipeline.h"
#include "fuzz_support.h"
#include "packer/carrier_writer.h"
#include "reference/reference_decoder.h"
#include "state/status.h"
#include "unpack/bit_input.h"
#include "unpack/tables.h"
#include "unpack/unpack.h"

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
    qm::BuildCrc32Table();
    qm::ArchiveStatus = 0;
    qm::CarrierStream = qm::platform::OpenForRead(in.c_str());
    qm::OutputStream = qm::platform::OpenForWrite(out.c_str());
    if (!qm::CarrierStream || !qm::OutputStream)
        qmfuzz::Fail("cannot open the scratch files", in);
    qm::PackedLeft = static_cast<std::uint32_t>(stream.size());
    qm::UnpackedLeft = qm::ProgressTotal = static_cast<std::int32_t>(unpacked);
    qm::BytesDone = 0;
    qm::DataCrc = 0xFFFFFFFFu;
    qm::ActiveCipher = -1;
    qm::CipherSelectKey("", -1);
    qm::ReadIvFirst = false;
    qm::UnpackStream(window.data());
    qm::platform::Close(qm::CarrierStream);
    qm::platform::Close(qm::OutputStream);
    qm::CarrierStream = qm::OutputStream = nullptr;
    const std::uint32_t libraryCrc = ~qm::DataCrc;
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
    if (qm::ArchiveStatus != 0)
        qmfuzz::Fail("the decoder set a status", std::to_string(qm::ArchiveStatus));
    return 0;
}
