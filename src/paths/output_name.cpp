// output_name.cpp - composing output names (see output_name.h).
#include "paths/output_name.h"

#include <cstring>

#include "state/host_state.h"
#include "paths/path_strings.h"
#include "paths/text_bounds.h"
#include "paths/windows_names.h"

namespace qm {

// Removes leading backslashes and a drive prefix at the start of the name.
// True when something was removed.
static bool StripRoot(char *work)
{
    bool changed = false;
    for (;;) {
        if (work[0] == '\\') {
            DeleteChars(work, 0, 1);
        } else if (work[0] != '\0' && work[1] == ':') {
            DeleteChars(work, 0, 2);
        } else {
            return changed;
        }
        changed = true;
    }
}

// Removes every ".." component together with the backslash behind it.
// True when something was removed.
static bool StripParentComponents(char *work)
{
    std::size_t read = 0, write = 0;
    bool changed = false;
    while (work[read] != '\0') {
        std::size_t end = read;
        while (work[end] != '\0' && work[end] != '\\') ++end;
        const std::size_t next = work[end] == '\\' ? end + 1 : end;
        if (end - read == 2 && work[read] == '.' && work[read + 1] == '.') {
            changed = true;
        } else {
            std::memmove(work + write, work + read, next - read);
            write += next - read;
        }
        read = next;
    }
    work[write] = '\0';
    return changed;
}

// Keeps the working name inside the output directory.  Each step can expose
// work for the other ("C:..\x", "..\C:\x"), so both run until neither finds
// anything; every round that changes something shortens the name.
static void ConfineToOutputDirectory(char *work)
{
    bool changed;
    do {
        changed = StripRoot(work);
        changed = StripParentComponents(work) || changed;
    } while (changed);
}

static char *Refuse(char *out)
{
    out[0] = '\0';
    return nullptr;
}

char *ComposeOutputName(const HostState &host, const char *storedName, char *out)
{
    if (host.paths.outputRefused)
        return Refuse(out);
    const PathSettings &paths = host.paths;
    const OutputNameRules rules{{paths.output, BoundedLength(paths.output, kOutputPathSize)},
                                BoundedLength(paths.relative, kRelativePathSize),
                                OptionsAreOn(host.options, QM_OPTION_KEEP_DIRECTORIES)};
    return ComposeOutputName(storedName, rules, out);
}

char *ComposeOutputName(const char *storedName, const OutputNameRules &rules, char *out)
{
    char work[kNameSize];
    if (!CopyIfFits(storedName, work, sizeof work)) return Refuse(out);
    SlashesToBackslashes(work);

    if (!rules.keepDirectories)
        StripToFileName(work, work);
    else if (work[0] == '\\')
        DeleteChars(work, 0, 1);

    // The relative path goes by length alone.  The working name has at most
    // 255 characters, so R + 1 fits the 8-bit count whenever W > R.
    const std::size_t relative = rules.relativeLength;
    const std::size_t length = std::strlen(work);
    if (relative > 0 && length > relative) DeleteChars(work, 0, static_cast<std::uint8_t>(relative + 1));

    ConfineToOutputDirectory(work);
#ifdef _WIN32
    // The two steps can expose work for each other: ".\C:x" shows a drive
    // once "." goes, "C:CON" a device once the drive goes.  They run until
    // the name stays the same; every round that changes it makes it shorter
    // or gives one more device its underscore, which no step takes away.
    char before[kNameSize];
    do {
        std::memcpy(before, work, sizeof work);
        if (!MakeWindowsSafeName(work, sizeof work)) return Refuse(out);
        ConfineToOutputDirectory(work);
    } while (std::strcmp(before, work) != 0);
#endif

    const std::size_t prefix = rules.outputFolder.size();
    const std::size_t rest = std::strlen(work);
    if (prefix + rest > kOutputNameSize - 1) return Refuse(out);
    std::memcpy(out, rules.outputFolder.data(), prefix);
    std::memcpy(out + prefix, work, rest + 1);
    return out;
}

}  // namespace qm
