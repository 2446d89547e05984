// mask_selection.cpp - matching quill's masks (see mask_selection.h).
#include "quill/mask_selection.h"

#include <set>

#include "quill/codepage.h"
#include "quill/command_line.h"
#include "quill/progress_display.h"

namespace quill {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Windows-1252 letters in one case: a-z, à-þ but ÷, and š œ ž ÿ.
char Fold(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7))
        return static_cast<char>(u - 0x20);
    switch (u) {
    case 0x9A: return static_cast<char>(0x8A);  // š
    case 0x9C: return static_cast<char>(0x8C);  // œ
    case 0x9E: return static_cast<char>(0x8E);  // ž
    case 0xFF: return static_cast<char>(0x9F);  // ÿ
    default: return c;
    }
}

// Folded, with one kind of separator and none in front.
std::string Normal(const std::string &text)
{
    size_t start = 0;
    while (start < text.size() && IsSeparator(text[start]))
        ++start;
    std::string out;
    out.reserve(text.size() - start);
    for (size_t i = start; i < text.size(); ++i)
        out += IsSeparator(text[i]) ? '\\' : Fold(text[i]);
    return out;
}

// Wildcard matching with one backtrack point: the latest '*' takes one more
// character whenever the rest fails.
bool Wildcard(const std::string &mask, const std::string &text)
{
    size_t m = 0, t = 0;
    size_t starAt = std::string::npos, starText = 0;
    while (t < text.size()) {
        if (m < mask.size() && (mask[m] == '?' || mask[m] == text[t])) {
            ++m;
            ++t;
        } else if (m < mask.size() && mask[m] == '*') {
            starAt = m++;
            starText = t;
        } else if (starAt != std::string::npos) {
            m = starAt + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

}  // namespace

bool MaskMatches(const std::string &mask, const std::string &name)
{
    const std::string m = Normal(mask);
    const std::string n = Normal(name);
    if (m.find('\\') != std::string::npos)
        return Wildcard(m, n);
    const size_t last = n.rfind('\\');
    return Wildcard(m, last == std::string::npos ? n : n.substr(last + 1));
}

Selection SelectEntries(const std::vector<Entry> &all, const std::vector<std::string> &masks)
{
    Selection s;
    if (masks.empty()) {
        s.entries = all;
        return s;
    }
    std::vector<bool> used(masks.size(), false);
    for (const Entry &entry : all) {
        if (entry.name.size() > kMaxMask)
            continue;
        bool chosen = false;
        for (size_t k = 0; k < masks.size(); ++k) {
            if (MaskMatches(masks[k], entry.name)) {
                used[k] = true;
                chosen = true;
            }
        }
        if (chosen)
            s.entries.push_back(entry);
    }
    for (size_t k = 0; k < masks.size(); ++k)
        if (!used[k])
            s.unmatched.push_back(masks[k]);
    if (s.entries.size() == all.size())
        return s;  // every entry: no library mask needed
    std::set<std::string> named;
    for (const Entry &entry : s.entries)
        if (named.insert(entry.name).second)
            s.libraryMasks.push_back(entry.name);
    return s;
}

Choice ChooseEntries(const std::vector<Entry> &all, const std::vector<std::string> &masks)
{
    Choice c;
    c.chosen.assign(all.size(), masks.empty());
    std::vector<bool> used(masks.size(), false);
    for (size_t i = 0; i < all.size(); ++i) {
        for (size_t k = 0; k < masks.size(); ++k) {
            if (MaskMatches(masks[k], all[i].name)) {
                used[k] = true;
                c.chosen[i] = true;
            }
        }
    }
    for (size_t k = 0; k < masks.size(); ++k)
        if (!used[k])
            c.unmatched.push_back(masks[k]);
    return c;
}

void ReportUnmatched(Display &display, const std::string &archiveShown, const std::vector<std::string> &masks)
{
    for (const std::string &mask : masks)
        display.Err("quill: " + archiveShown + ": no entry matches the mask " + FromLibraryText(mask));
}

}  // namespace quill
