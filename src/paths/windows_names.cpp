// windows_names.cpp - device names and trailing full stops and spaces (see
// windows_names.h).
#include "paths/windows_names.h"

#include <cstring>

#include "paths/text_bounds.h"

namespace qm {

namespace {

inline char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// True when the n characters at text spell word, ignoring ASCII case.
bool SpellsIgnoringCase(const char *text, std::size_t n, const char *word)
{
    if (std::strlen(word) != n)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (AsciiUpper(text[i]) != word[i])
            return false;
    return true;
}

// The code page's superscript one, two and three, which Windows takes as
// port digits too.
inline bool IsPortDigit(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= '0' && u <= '9') || u == 0xB9 || u == 0xB2 || u == 0xB3;
}

// True when the component of n characters opens a device on Windows.
bool IsDeviceName(const char *component, std::size_t n)
{
    std::size_t stem = 0;
    while (stem < n && component[stem] != '.')
        ++stem;
    while (stem > 0 && component[stem - 1] == ' ')
        --stem;
    static const char *const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char *device : kDevices)
        if (SpellsIgnoringCase(component, stem, device))
            return true;
    return stem == 4 &&
           (SpellsIgnoringCase(component, 3, "COM") || SpellsIgnoringCase(component, 3, "LPT")) &&
           IsPortDigit(component[3]);
}

}  // namespace

bool MakeWindowsSafeName(char *name, std::size_t capacity)
{
    char safe[2 * kNameSize];
    std::size_t length = 0;
    const char *p = name;
    for (;;) {
        const char *end = std::strchr(p, '\\');
        const bool last = end == nullptr;
        if (last)
            end = p + std::strlen(p);
        std::size_t n = static_cast<std::size_t>(end - p);
        const bool wasEmpty = n == 0;
        while (n > 0 && (p[n - 1] == '.' || p[n - 1] == ' '))
            --n;
        if (n == 0 && last && !wasEmpty)
            return false;  // the file name was only full stops and spaces
        if (n == 0 && !last) {
            // An empty directory component goes with its separator, so
            // none can leave a leading backslash (a root) behind.
        } else {
            const bool device = IsDeviceName(p, n);
            // This component, its separator and the final NUL must fit.
            const std::size_t needed = length + (device ? 1 : 0) + n + (last ? 0 : 1) + 1;
            if (needed > capacity || needed > sizeof safe)
                return false;
            if (device)
                safe[length++] = '_';
            std::memcpy(safe + length, p, n);
            length += n;
            if (!last)
                safe[length++] = '\\';
        }
        if (last)
            break;
        p = end + 1;
    }
    safe[length] = '\0';
    std::memcpy(name, safe, length + 1);
    return true;
}

}  // namespace qm
