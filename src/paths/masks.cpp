// masks.cpp - file mask lists and matching (see masks.h).
#include "paths/masks.h"

#include <cstring>

#include "state/status.h"
#include "paths/case_fold.h"
#include "paths/memory.h"
#include "paths/split_path.h"
#include "paths/text_bounds.h"

namespace qm {

void InitFileMaskList(FileMaskList *list)
{
    list->first = nullptr;
    list->last = nullptr;
}

bool AppendFileMask(StatusWord &status, const char *mask, FileMaskList *list)
{
    char text[kNameSize];
    if (!CopyIfFits(mask, text, sizeof text)) {
        status = QM_STATUS_OUT_OF_MEMORY;
        return false;
    }
    SlashesToBackslashes(text);

    PathParts parts;
    SplitPath(text, parts);

    char *dir = DupString(parts.dir);
    if (dir == nullptr) {
        status = QM_STATUS_OUT_OF_MEMORY;
        return false;
    }
    FileMask *node = nullptr;
    if (!AllocMem(node, sizeof(FileMask))) {
        FreeMem(dir);
        status = QM_STATUS_OUT_OF_MEMORY;
        return false;
    }
    node->dir = dir;
    std::memcpy(node->name, parts.name, sizeof node->name);
    std::memcpy(node->ext, parts.ext, sizeof node->ext);
    node->next = nullptr;

    if (list->first == nullptr)
        list->first = node;
    else
        list->last->next = node;
    list->last = node;
    return true;
}

void DoneFileMaskList(FileMaskList *list)
{
    FileMask *node = list->first;
    while (node != nullptr) {
        FileMask *next = node->next;
        FreeMem(node->dir);
        FreeMem(node);
        node = next;
    }
    list->first = nullptr;
    list->last = nullptr;
}

// A node's strings are copied with a limit: the host owns the nodes and
// nothing guarantees their NULs.
static inline void FoldedCopy(const char *from, char (&to)[kNameSize])
{
    const std::size_t length = BoundedLength(from, kMaxNameLength);
    std::memcpy(to, from, length);
    to[length] = '\0';
    UpCaseString(to, to);
}

// A file-name or extension part: a leading asterisk accepts anything;
// otherwise equal lengths, and each mask character a question mark or equal.
static bool MatchPart(const char *entry, const char *mask)
{
    if (mask[0] == '*') return true;
    const std::size_t length = std::strlen(mask);
    if (std::strlen(entry) != length) return false;
    for (std::size_t i = 0; i < length; ++i)
        if (mask[i] != '?' && mask[i] != entry[i]) return false;
    return true;
}

bool MatchFileMask(const char *name, const FileMask *mask)
{
    PathParts entry;
    SplitPath(name, entry);
    UpCaseString(entry.dir, entry.dir);
    UpCaseString(entry.name, entry.name);
    UpCaseString(entry.ext, entry.ext);

    char dir[kNameSize], base[kNameSize], ext[kNameSize];
    FoldedCopy(mask->dir != nullptr ? mask->dir : "", dir);
    FoldedCopy(mask->name, base);
    FoldedCopy(mask->ext, ext);

    if (base[0] == '*' && ext[0] == '*') {
        // All-files mask: the mask directory must occur in the entry
        // directory, ending where a directory ends at the same length.
        if (dir[0] == '\0') return true;
        const std::size_t length = std::strlen(dir);
        if (std::strstr(entry.dir, dir) == nullptr) return false;
        return entry.dir[length - 1] == dir[length - 1];
    }

    // Directories hold no wildcards and must be equal.
    if (std::strcmp(entry.dir, dir) != 0) return false;
    return MatchPart(entry.name, base) && MatchPart(entry.ext, ext);
}

bool MatchFileMaskList(const char *name, const FileMaskList *list)
{
    if (list->first == nullptr) return true;

    char work[kNameSize];
    if (!CopyIfFits(name, work, sizeof work)) return false;
    SlashesToBackslashes(work);
    UpCaseString(work, work);

    for (const FileMask *node = list->first; node != nullptr; node = node->next)
        if (MatchFileMask(work, node)) return true;
    return false;
}

}  // namespace qm
