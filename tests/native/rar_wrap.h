// rar_wrap.h - wraps one RAR 2.0 compressed stream in a minimal RAR archive
// (the 1.5-4.x layout) so the `unar` program can decode it as a peer.
//
// The archive: the 7-byte marker block, an archive header, one file header
// (unpacked version 20, method 0x33) followed by the packed data, and the
// end-of-archive block.  Every block starts with the low 16 bits of the
// CRC-32 of the block from its type byte on.
#pragma once

#include <cstdint>
#include <string>

#include "packer/carrier_writer.h"

namespace qmtest {

// Two zero bytes are appended to the stream (counted in the packed size):
// unar reads a little past the last symbol.
qmpack::Bytes WrapRar(const qmpack::Bytes &stream, std::uint32_t unpackedSize,
                      std::uint32_t dataCrc, const std::string &name);

// Extracts the archive with unar into outDir and reads the file called name.
// False (with unar's output in log) when unar fails or the file is missing.
bool RunUnar(const std::string &archive, const std::string &outDir, const std::string &name,
             qmpack::Bytes &output, std::string &log);

}  // namespace qmtest
