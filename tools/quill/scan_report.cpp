// scan_report.cpp - formatting "quill scan"'s lines.
#include "quill/scan_report.h"

#include "quill/json_listing.h"

namespace quill {

namespace {

std::string JsonList(const std::vector<std::string> &names)
{
    std::string out = "[";
    for (std::size_t i = 0; i < names.size(); ++i)
        out += (i ? ", " : "") + JsonString(names[i]);
    return out + "]";
}

}  // namespace

std::string ScanVerdict(const ScanResult &r)
{
    if (!r.tested)
        return "";
    if (r.damagedHeader || !r.damaged.empty())
        return "damaged";
    if (r.headersLocked || !r.locked.empty())
        return "password";
    return r.error.empty() ? "intact" : "damaged";
}

std::string ScanTextLine(const ScanResult &r)
{
    std::string line = r.path + ": archive at " + std::to_string(r.offset) + ", ";
    if (r.entries < 0)
        line += "entries unknown";
    else
        line += std::to_string(r.entries) + (r.entries == 1 ? " entry" : " entries");
    line += r.headersEnciphered ? ", header blocks enciphered (DES)" : ", header blocks plain";
    if (r.headersLocked)
        line += ", no header password";
    const std::string verdict = ScanVerdict(r);
    if (verdict == "intact") {
        line += ", all intact";
    } else if (!r.damaged.empty()) {
        line += ", damaged:";
        for (std::size_t i = 0; i < r.damaged.size(); ++i)
            line += (i ? ", " : " ") + r.damaged[i];
    }
    if (!r.locked.empty())
        line += ", " + std::to_string(r.locked.size()) + " need a password";
    if (!r.error.empty())
        line += " (" + r.error + ")";
    return line;
}

std::string ScanJsonLine(const ScanResult &r)
{
    const std::string verdict = ScanVerdict(r);
    return "{\"path\": " + JsonString(r.path) + ", \"offset\": " + std::to_string(r.offset) +
           ", \"entries\": " + (r.entries < 0 ? std::string("null") : std::to_string(r.entries)) +
           ", \"headerCipher\": \"" + (r.headersEnciphered ? "des" : "none") + "\"" +
           ", \"test\": " + (verdict.empty() ? std::string("null") : "\"" + verdict + "\"") +
           ", \"damaged\": " + JsonList(r.damaged) +
           ", \"error\": " + (r.error.empty() ? std::string("null") : JsonString(r.error)) + "}";
}

}  // namespace quill
