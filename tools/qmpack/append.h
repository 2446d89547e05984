// append.h - reading an archive that qmpack adds entries to.
//
// Adding is only offered where it is plain to do right: the archive's header
// blocks are not enciphered, and they follow the signature record without a
// gap, in an unbroken chain, every block with its CRC and magic, up to the
// end of the file.  New entries then go behind the last one; the bytes
// before (a carrier, the record, the old entries) stay as they are.
#pragma once

#include <string>
#include <vector>

#include "packer/carrier_writer.h"

namespace qmpack {

struct ExistingArchive {
    Bytes bytes;                     // the whole file
    std::vector<std::string> names;  // the stored names, code page 437
    std::string error;               // why it cannot be added to; empty when it can
};

ExistingArchive ReadForAppend(const std::string &path);

// The offset of the first signature record where the library looks for one
// (offsets 0 to n - 25 of the first n = 81,920 bytes); npos when there is none.
std::size_t FindSignature(const Bytes &bytes);

}  // namespace qmpack
