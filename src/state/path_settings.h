// path_settings.h - the three path settings of a session.
//
// The output path (256 bytes) is empty or ends in a backslash or a colon; it
// is read when output names are composed.  The input path (261 bytes) is
// kept for the host and read by nothing.  The relative path (261 bytes) is
// the leading part of stored names that output names drop; opening an
// archive clears it.
//
// outputRefused is set when the host's last output path was too long to
// hold: the output path is then empty, and no output name is composed until
// a path that fits is set, so nothing lands in a directory the host did not
// ask for.
#pragma once

#include <cstddef>

namespace qm {

constexpr std::size_t kOutputPathSize = 256;
constexpr std::size_t kInputPathSize = 261;
constexpr std::size_t kRelativePathSize = 261;

struct PathSettings {
    char output[kOutputPathSize] = {};
    char input[kInputPathSize] = {};
    char relative[kRelativePathSize] = {};
    bool outputRefused = false;
};

}  // namespace qm
