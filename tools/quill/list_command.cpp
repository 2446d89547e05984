// list_command.cpp - "quill l": the matching entries and the statistics.
#include <cstdio>
#include <cstring>

#include "quill/archive_session.h"
#include "quill/codepage.h"
#include "quill/commands.h"
#include "quill/listing_format.h"

namespace quill {

namespace {

// The public list, released on every exit.
class EntryList {
public:
    EntryList() { InitArcFileList(&list_); }
    ~EntryList() { DoneArcFileList(&list_); }
    EntryList(const EntryList &) = delete;
    EntryList &operator=(const EntryList &) = delete;
    ArcFileList *get() { return &list_; }

private:
    ArcFileList list_;
};

std::string Row(const char *attributes, long long unpacked, long long packed, int ratio,
                const char *when, const std::string &name)
{
    char text[128];
    std::snprintf(text, sizeof text, "%-5s %12lld %12lld %4d%%  %-19s  ", attributes, unpacked,
                  packed, ratio, when);
    return text + name + "\n";
}

}  // namespace

int RunList(const CommandLine &line, std::ostream &out, std::ostream &err)
{
    PasswordAnswers answers(line.password);
    ArchiveSession session(line, answers);
    if (session.status() != QM_STATUS_OK)
        return ReportFailure(err, line, session.status(), answers);

    MaskList masks;
    if (!masks.Fill(line))
        return ReportFailure(err, line, GetArchiveStatus(), answers);

    EntryList entries;
    SetArchiveStatus(QM_STATUS_OK);
    BuildArcFileList(entries.get(), masks.get());
    if (const uint16_t status = GetArchiveStatus(); status != QM_STATUS_OK)
        return ReportFailure(err, line, status, answers);

    static ArcExtraInfo info;  // filled by the list build
    GetExtraInfoArc(&info);

    out << "Attr          Size       Packed Ratio  Date       Time      Name (* enciphered)\n"
        << "----- ------------ ------------ -----  -------------------  -------------------\n";
    for (const ArcFileItem *item = entries.get()->first; item; item = item->next) {
        std::string name = item->enciphered ? "*" : "";
        name += FromLibraryText({item->name, strnlen(item->name, sizeof item->name)});
        out << Row(FormatAttributes(item->attributes).c_str(), item->unpackedSize,
                   item->packedSize, Ratio(item->packedSize, item->unpackedSize),
                   FormatDosDateTime(item->dosDateTime).c_str(), name);
    }
    out << "----- ------------ ------------ -----\n";
    const std::string count = std::to_string(info.entryCount) +
                              (info.entryCount == 1 ? " entry" : " entries");
    out << Row("", info.totalUnpacked, info.totalPacked, info.ratio, "", count);
    return 0;
}

}  // namespace quill
