// append.h - the archive already at qmpack's output path: one to add entries
// to, one that may be replaced, or a file that must not be.
//
// Adding is only offered where it is plain to do right: the archive's header
// blocks are not enciphered, and they follow the signature record without a
// gap, in an unbroken chain, every block with its CRC and magic, up to the
// end of the file.  New entries then go behind the last one; the bytes
// before (a carrier, the record, the old entries) stay as they are.  Only
// the first 81,920 bytes and the header blocks are read, never the entries'
// data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "packer/carrier_writer.h"

namespace qmpack {

struct ExistingArchive {
    std::uint64_t size = 0;          // of the whole file
    std::vector<std::string> names;  // the stored names, code page 437
    std::string error;               // why it cannot be added to; empty when it can
};

ExistingArchive ReadForAppend(const std::string &path);

// The offset of the first signature record where the library looks for one
// (offsets 0 to n - 25 of the first n = 81,920 bytes); npos when there is none.
std::size_t FindSignature(const Bytes &bytes);

// What stands at the output path, for a new archive.
enum class OutputPathHolds { Nothing, Archive, OtherFile, Folder, Unreadable };
OutputPathHolds LookAtOutputPath(const std::string &path);

}  // namespace qmpack
