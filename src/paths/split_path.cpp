// split_path.cpp - directory, file name and extension of a name (see
// split_path.h).
#include "paths/split_path.h"

#include <cstring>

namespace qm {

static inline void CopyRange(const char *from, std::size_t count, char *to)
{
    std::memcpy(to, from, count);
    to[count] = '\0';
}

void SplitPath(const char *text, PathParts &parts)
{
    const std::size_t length = BoundedLength(text, kMaxNameLength);

    // The drive is the first two characters when the second is a colon.
    const std::size_t drive = (length >= 2 && text[1] == ':') ? 2 : 0;

    // The directory runs to the last separator after the drive.
    std::size_t nameStart = drive;
    for (std::size_t i = drive; i < length; ++i)
        if (text[i] == '\\' || text[i] == '/') nameStart = i + 1;

    // The extension mark is the last full stop after the directory.
    std::size_t mark = length;
    for (std::size_t i = nameStart; i < length; ++i)
        if (text[i] == '.') mark = i;

    CopyRange(text, nameStart, parts.dir);
    CopyRange(text + nameStart, mark - nameStart, parts.name);
    if (mark < length)
        CopyRange(text + mark + 1, length - mark - 1, parts.ext);
    else
        parts.ext[0] = '\0';
}

}  // namespace qm
