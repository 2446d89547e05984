// entry_extract.cpp - writing the current entry below a folder, with the
// exports' safety rules.
//
// The output name is composed as the exports compose it with the
// keep-directories option on: the stored name loses leading separators, a
// drive prefix and every ".." component (and on Windows the device names and
// trailing dots), so it never leaves the folder.  The data goes to a
// temporary file beside the final name, which is renamed over that name only
// when the entry is complete and its CRC matched; the final name must not be
// a folder, a read-only file, the archive itself, or lie behind a link among
// the folders below the output folder (see extract/output_file.h).
//
// The library's file layer takes Windows-1252 paths, so the folder must be
// one that Windows-1252 can spell.
#include <algorithm>
#include <cstring>
#include <string>

#include "archive/archive_reader.h"
#include "extract/output_file.h"
#include "paths/output_name.h"
#include "platform/windows_1252.h"
#include "platform/code_page.h"

namespace qm {

namespace {

struct Writing {
    platform::File *stream;
};

bool WritePiece(void *context, const void *data, std::size_t size)
{
    auto &w = *static_cast<Writing *>(context);
    return platform::Write(w.stream, data, size) == size;
}

}  // namespace

int ArchiveReader::Extract(const char *dirUtf8)
{
    if (!hasEntry_)
        return Fail(QM_E_NO_ENTRY, "no current entry");
    auto folder = platform::Utf8To1252(dirUtf8);
    if (!folder || folder->size() >= kOutputNameSize)
        return Fail(QM_E_ARGUMENT, "the output folder is longer than 255 bytes or has characters "
                                   "outside Windows-1252");
    std::replace(folder->begin(), folder->end(), '/', '\\');
    if (!folder->empty() && folder->back() != '\\' && folder->back() != ':')
        *folder += '\\';

    // The stored name in the exports' form: OEM code page to Windows-1252.
    std::string stored = entry_.rawName;
    platform::ConvertOemToAnsi(stored.data());
    char outputPath[kOutputNameSize] = {};
    const OutputNameRules rules{*folder, 0, true};
    if (!ComposeOutputName(stored.c_str(), rules, outputPath) || outputPath[0] == '\0' ||
        std::strlen(outputPath) <= folder->size())
        return Fail(QM_E_UNSAFE_NAME, entry_.name + ": no file name inside the folder can be made of it");

    const OutputPlace place{*folder,
                            [](void *context, const char *path) {
                                return static_cast<const ByteSource *>(context)->IsFile(path);
                            },
                            source_.get()};
    PendingOutput output;
    const std::string shown = platform::Utf8From1252(outputPath);
    if (!OpenOutputFile(outputPath, place, &output))
        return Fail(QM_E_OUTPUT, entry_.name + ": cannot create " + shown +
                                     " (a folder, a read-only file, the archive itself, a link among the "
                                     "folders, or no room)");
    Writing w{output.stream};
    int r = ReadAll(WritePiece, &w);
    if (r == 0 && !platform::Flush(output.stream))
        r = Fail(QM_E_OUTPUT, entry_.name + ": cannot write " + shown);
    if (r < 0) {
        DiscardOutputFile(&output);
        return r;
    }
    switch (FinishOutputFile(&output, entry_.dosDateTime, entry_.attributes, outputPath)) {
    case FinishResult::kDone:
        return 0;
    case FinishResult::kNoTime:
        return Fail(QM_E_OUTPUT, entry_.name + ": written to " + shown + ", but its time could not be set");
    default:
        return Fail(QM_E_OUTPUT, entry_.name + ": cannot rename the finished file to " + shown);
    }
}

}  // namespace qm
