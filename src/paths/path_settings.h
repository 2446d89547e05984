// path_settings.h - the three process-wide path settings.
//
// OutputPath (256 bytes) is empty or ends in a backslash or a colon; it is
// read when output names are composed.  InputPath (261 bytes) is kept for the
// host and read by nothing.  RelativePath (261 bytes) is the leading part of
// stored names that output names drop; opening an archive clears it.
#pragma once

#include <cstddef>

namespace qm {

constexpr std::size_t kOutputPathSize = 256;
constexpr std::size_t kInputPathSize = 261;
constexpr std::size_t kRelativePathSize = 261;

extern char OutputPath[kOutputPathSize];
extern char InputPath[kInputPathSize];
extern char RelativePath[kRelativePathSize];

}  // namespace qm
