// extract_command.cpp - "quill x": extracting the matching entries.
#include <cstring>

#include "quill/archive_session.h"
#include "quill/codepage.h"
#include "quill/commands.h"

namespace quill {

namespace {

// What the extraction callbacks need: where to report, and the -y choice.
struct ExtractionContext {
    std::ostream *out;
    bool overwrite;
    std::string current;  // the output path of the entry being extracted
    int skipped = 0;
};

int32_t QM_CALL ShowFileName(QmUserValue user, const char *, char *outputPath)
{
    auto *context = reinterpret_cast<ExtractionContext *>(user);
    // The library's output path buffer holds 256 bytes.
    context->current = FromLibraryPath({outputPath, strnlen(outputPath, 256)});
    *context->out << "  " << context->current << "\n";
    return 0;
}

int32_t QM_CALL AnswerReplace(QmUserValue user, WIN32_FIND_DATAA *, WIN32_FIND_DATAA *)
{
    auto *context = reinterpret_cast<ExtractionContext *>(user);
    if (context->overwrite)
        return 0;  // overwrite, read-only or not: the attributes are reset first
    *context->out << "  skipped " << context->current << ": it exists (-y overwrites)\n";
    ++context->skipped;
    return 1;
}

}  // namespace

int RunExtract(const CommandLine &line, std::ostream &out, std::ostream &err)
{
    PasswordAnswers answers(line.password);
    ArchiveSession session(line, answers);
    if (session.status() != QM_STATUS_OK)
        return ReportFailure(err, line, session.status(), answers);

    MaskList masks;
    if (!masks.Fill(line))
        return ReportFailure(err, line, GetArchiveStatus(), answers);

    ExtractionContext context{&out, line.overwrite, {}};
    const auto user = reinterpret_cast<QmUserValue>(&context);
    SetSetFileNameProc(user, ShowFileName);
    SetOkToReplaceProc(user, AnswerReplace);
    SetSetProgressProc(0, nullptr);
    const bool keptBefore = arOptionsAreOn(QM_OPTION_KEEP_DIRECTORIES) != 0;
    if (line.keepDirectories)
        arOptionsOn(QM_OPTION_KEEP_DIRECTORIES);
    else
        arOptionsOff(QM_OPTION_KEEP_DIRECTORIES);
    SetOutputPath(line.outputDir.c_str());

    out << "Extracting from " << FromLibraryPath(line.archive) << "\n";
    ExtractFileMaskListArc(masks.get());
    const uint16_t status = GetArchiveStatus();
    // The callbacks point into this frame: take them back before it ends.
    SetSetFileNameProc(0, nullptr);
    SetOkToReplaceProc(0, nullptr);
    (keptBefore ? arOptionsOn : arOptionsOff)(QM_OPTION_KEEP_DIRECTORIES);
    if (status != QM_STATUS_OK)
        return ReportFailure(err, line, status, answers);
    out << "Done" << (context.skipped ? ", " + std::to_string(context.skipped) + " skipped" : "")
        << "\n";
    return 0;
}

}  // namespace quill
