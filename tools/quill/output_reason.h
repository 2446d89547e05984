// output_reason.h - why an output file could not be made or written, in the
// system's words.
//
// The library reports only that an output file could not be created (5) or
// written in full (101).  quill looks at the place itself afterwards and
// names the reason as the system would: "Is a directory", "Permission
// denied", "No space left on device", "File too large".  It probes: the
// target and the folders on its way are looked at, and a file is created
// (and at once removed) in the deepest folder that exists, to hear what the
// system says to that.
#pragma once

#include <cstdint>
#include <string>

namespace quill {

// Why the file at path (the system's form) could not be created; archive is
// the archive being read.  Empty when the place shows nothing wrong.
std::string WhyCannotCreate(const std::string &path, const std::string &archive);

// Why a file of `size` bytes at path could not be written in full.
std::string WhyCannotWrite(const std::string &path, int64_t size);

}  // namespace quill
