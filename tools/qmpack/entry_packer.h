// entry_packer.h - one file into one entry of the archive being written.
//
// The file is read in pieces of 1 MiB: each piece goes into the CRC and the
// encoder, whose stream goes through the cipher straight into the archive,
// behind a placeholder for the header block; the header block is written
// last, when the sizes and the CRC are known.  A file that does not get
// smaller (an entry is compressed exactly when its packed size is below its
// unpacked size) is read again and stored: the compressed bytes are cut off
// as soon as they reach the file's size.  A file that cannot be read is cut
// off whole, and the archive is as it was before it.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>

#include "packer/encoder.h"
#include "qmpack/archive_output.h"
#include "qmpack/file_walk.h"
#include "qmpack/options.h"

namespace qmpack {

struct PackSettings {
    Method method = Method::Lz;
    EncoderOptions encoder;
    std::int32_t cipher = -1;
    std::string password;                                // Windows-1252
    std::function<void(std::uint8_t *block)> encipherHeader;  // empty: plain header blocks
};

struct PackResult {
    enum class Outcome {
        Packed,        // the entry is in the archive
        InputFailed,   // the file could not be read: the archive is as before
        OutputFailed,  // the archive could not be written (see ArchiveOutput::error)
    };
    Outcome outcome = Outcome::Packed;
    std::string problem;       // why the input failed; or, packed, a warning
    std::uint64_t size = 0;    // bytes read
    std::uint64_t stored = 0;  // bytes behind the header block
};

// Reports the bytes of the file read so far.
using PackProgress = std::function<void(std::uint64_t bytesRead)>;

PackResult PackFile(ArchiveOutput &out, const FoundFile &file, const std::string &storedName,
                    const PackSettings &settings, std::mt19937 &rng, const PackProgress &progress);

}  // namespace qmpack
