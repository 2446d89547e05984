// list_command.cpp - "quill l": the matching entries and the statistics.
#include <cstdio>

#include "quill/archive_problem.h"
#include "quill/archive_session.h"
#include "quill/codepage.h"
#include "quill/signature_probe.h"
#include "quill/commands.h"
#include "quill/exit_codes.h"
#include "quill/failure_messages.h"
#include "quill/json_listing.h"
#include "quill/listing_format.h"
#include "quill/mask_selection.h"

namespace quill {

namespace {

std::string Row(const char *attributes, long long unpacked, long long packed, int ratio,
                const char *when, const std::string &name)
{
    char text[128];
    std::snprintf(text, sizeof text, "%-5s %12lld %12lld %4d%%  %-19s  ", attributes, unpacked,
                  packed, ratio, when);
    return text + name + "\n";
}

// The library's statistics over the matching entries.
bool Statistics(const MaskList &masks, ArcExtraInfo &info)
{
    ArcFileList list;
    InitArcFileList(&list);
    SetArchiveStatus(QM_STATUS_OK);
    BuildArcFileList(&list, masks.get());
    const bool ok = GetArchiveStatus() == QM_STATUS_OK;
    DoneArcFileList(&list);
    if (ok)
        GetExtraInfoArc(&info);
    return ok;
}

}  // namespace

int RunList(const CommandLine &line, Console &console)
{
    Display display(console, false);
    const std::string archive = FromLibraryPath(line.archive);
    PasswordAnswers answers(console, display, line);
    ArchiveSession session(line, answers);
    FailureContext context;
    context.masksGiven = !line.masks.empty();
    if (session.status() != QM_STATUS_OK) {
        context.refusal = answers.refusal();
        if (session.status() == QM_STATUS_BAD_PASSWORD)
            context.headersEnciphered = SignatureSaysHeadersEnciphered(archive);
        return ReportOpenFailure(display, archive, session.status(), context);
    }
    // quill's masks choose from every entry (mask_selection.h); the
    // statistics come from the library over the names chosen.
    MaskList masks;
    const EntryWalk walk = WalkEntries(masks);
    context.phase = Phase::Walk;
    context.refusal = answers.refusal();
    const Selection selection = SelectEntries(walk.entries, line.masks);
    if (walk.status == QM_STATUS_OK) {
        ReportUnmatched(display, archive, selection.unmatched);
        if (selection.entries.empty() && !line.masks.empty())
            return kExitNothingMatched;
        if (!masks.Fill(selection.libraryMasks))
            return ReportFailure(display, archive, GetArchiveStatus(), context);
    }
    const std::vector<Entry> &entries = selection.entries;
    static ArcExtraInfo info;  // 384 bytes, filled by the list build
    if (walk.status == QM_STATUS_OK && !Statistics(masks, info))
        return ReportFailure(display, archive, GetArchiveStatus(), context);
    const int success = selection.unmatched.empty() ? kExitOk : kExitNothingMatched;

    if (line.json) {
        if (walk.status != QM_STATUS_OK)
            return ReportFailure(display, archive, walk.status, context);
        WriteJsonListing(console.out(), archive, entries, info);
        return success;
    }
    if (entries.empty())
        return ReportFailure(display, archive, walk.status, context);

    std::ostream &out = console.out();
    out << "Attr          Size       Packed Ratio  Date       Time      Name (* enciphered)\n"
        << "----- ------------ ------------ -----  -------------------  -------------------\n";
    for (const Entry &e : entries) {
        std::string name = e.cipherMethod != QM_CIPHER_NONE ? "*" : "";
        name += FromLibraryText(e.name);
        out << Row(FormatAttributes(e.attributes).c_str(), e.unpackedSize, e.packedSize,
                   Ratio(e.packedSize, e.unpackedSize), FormatDosDateTime(e.dosDateTime).c_str(),
                   name);
    }
    out << "----- ------------ ------------ -----\n";
    if (walk.status != QM_STATUS_OK) {
        // The entries before a damaged header block are listed; no totals.
        out.flush();
        return ReportFailure(display, archive, walk.status, context);
    }
    const std::string count = std::to_string(info.entryCount) +
                              (info.entryCount == 1 ? " entry" : " entries");
    out << Row("", info.totalUnpacked, info.totalPacked, info.ratio, "", count);
    return success;
}

}  // namespace quill
