// case_fold.cpp - the library's one case folding (see case_fold.h).
#include "paths/case_fold.h"

#include <cstddef>

namespace qm {

char UpCaseChar(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    if (u >= 'a' && u <= 'z') return static_cast<char>(u - 32);
    switch (u) {
    case 228: return static_cast<char>(196);  // ä -> Ä
    case 246: return static_cast<char>(214);  // ö -> Ö
    case 252: return static_cast<char>(220);  // ü -> Ü
    default: return c;
    }
}

char *UpCaseString(const char *src, char *dst)
{
    std::size_t i = 0;
    for (;; ++i) {
        dst[i] = UpCaseChar(src[i]);
        if (src[i] == '\0') break;
    }
    return dst;
}

}  // namespace qm
