// extraction_run.cpp - quill's callbacks during an extraction.
#include "quill/extraction_run.h"

#include <cstring>
#include <ctime>
#include <optional>
#include <system_error>

#include "quill/archive_problem.h"
#include "quill/codepage.h"
#include "quill/mask_selection.h"
#include "quill/output_reason.h"
#include "quill/signature_probe.h"

namespace quill {

namespace {

constexpr size_t kOutputPathSize = 256;  // the library's output path buffer
constexpr size_t kAnswerSize = 250;      // the data-password answer buffer

ExtractionRun *Self(QmUserValue user) { return reinterpret_cast<ExtractionRun *>(user); }

bool SameName(const std::string &a, const char *b) { return a == b; }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// True when name lies below directory (ASCII case ignored).
bool IsBelow(const std::string &name, const std::string &directory)
{
    if (name.size() <= directory.size() + 1 || name[directory.size()] != '\\')
        return false;
    for (size_t i = 0; i < directory.size(); ++i)
        if (Upper(name[i]) != Upper(directory[i]))
            return false;
    return true;
}

// Output paths as the file system tells them apart.
std::string PathKey(std::string path)
{
#ifdef _WIN32
    for (char &c : path)
        c = Upper(c);
#endif
    return path;
}

void Put(char *outputPath, const std::string &path)
{
    if (path.size() < kOutputPathSize) {
        std::memset(outputPath, 0, kOutputPathSize);
        std::memcpy(outputPath, path.c_str(), path.size());
    }
}

}  // namespace

std::string DescribeFindData(const WIN32_FIND_DATAA &data)
{
    const uint64_t size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    const uint64_t ticks = (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) |
                           data.ftLastWriteTime.dwLowDateTime;
    std::string text = Display::Bytes(static_cast<int64_t>(size & 0x7FFFFFFFFFFFFFFF));
    constexpr uint64_t kUnixEpoch = 116444736000000000ULL;  // 1970 in 100 ns steps since 1601
    if (ticks >= kUnixEpoch) {
        const std::time_t when = static_cast<std::time_t>((ticks - kUnixEpoch) / 10000000ULL);
        if (const std::tm *local = std::localtime(&when)) {
            char stamp[32];
            if (std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", local))
                text += std::string(", ") + stamp;
        }
    }
    return text;
}

ExtractionRun::ExtractionRun(Console &console, Display &display, PasswordAnswers &answers,
                             ReplaceAnswers *replace, const std::vector<Entry> &plan,
                             RunSettings settings)
    : console_(console),
      display_(display),
      answers_(answers),
      replace_(replace),
      plan_(plan),
      settings_(std::move(settings))
{
}

std::string ExtractionRun::Shown(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= plan_.size())
        return {};
    return FromLibraryText(plan_[static_cast<size_t>(index)].name);
}

uint16_t ExtractionRun::Run(const MaskList &masks, int skipThrough)
{
    skipThrough_ = skipThrough;
    cursor_ = -1;
    inEntry_ = false;
    retryPending_ = false;
    pendingPass_ = -1;
    questionIndex_ = -1;
    outputShown_.clear();

    const auto user = reinterpret_cast<QmUserValue>(this);
    SetSetFileNameProc(user, OnFileName);
    SetOkToReplaceProc(user, OnReplace);
    SetSetProgressProc(user, OnProgress);
    SetSetCryptKeyProc(user, OnPassword);
    ExtractFileMaskListArc(masks.get());
    const uint16_t status = GetArchiveStatus();
    // The callbacks point at this run: take them back (the header question
    // goes back to the answers, as after the open).
    SetSetFileNameProc(0, nullptr);
    SetOkToReplaceProc(0, nullptr);
    SetSetProgressProc(0, nullptr);
    SetSetCryptKeyProc(reinterpret_cast<QmUserValue>(&answers_), AnswerHeaderQuestion);

    // The last entry that began went well unless the failure is its own (a
    // password question before the next entry fails ahead of that entry).
    if (pendingPass_ >= 0 && (status == QM_STATUS_OK || pendingPass_ != failedEntry(status)))
        EntryPassed(pendingPass_);
    display_.ClearProgress();
    return status;
}

bool ExtractionRun::CanPassOver()
{
    if (!librarySkipMarker_.empty())
        return true;
    markerDir_ = std::make_unique<PrivateDir>();
    if (!markerDir_->ok())
        return false;
    const std::filesystem::path folder = markerDir_->path();
    // The file a passed-over entry is pointed at: it exists, so the library
    // asks before replacing it, and the answer is "skip".
    const std::filesystem::path marker = folder / "skip";
    std::FILE *file = std::fopen(marker.string().c_str(), "wb");
    if (!file)
        return false;
    std::fclose(file);
    const auto libraryMarker = ToLibraryPath(marker.string());
    if (!libraryMarker || libraryMarker->size() >= kOutputPathSize)
        return false;
    librarySkipMarker_ = *libraryMarker;
    return true;
}

void ExtractionRun::EntryPassed(int index)
{
    ++finished_;
    extractedTo_[PathKey(outputShown_)] = index;
    display_.Out("  " + outputShown_);
    pendingPass_ = -1;
}

void ExtractionRun::BeginEntry(char *outputPath)
{
    const bool again = retryPending_;
    retryPending_ = false;
    inEntry_ = true;
    if (!again) {
        if (pendingPass_ >= 0)
            EntryPassed(pendingPass_);
        ++cursor_;
        entryStartBytes_ = bytesDone_;
    } else {
        bytesDone_ = entryStartBytes_;  // the entry is written anew
    }
    const bool passedOver = cursor_ <= skipThrough_;

    if (passedOver) {
        Put(outputPath, librarySkipMarker_);
        outputShown_ = FromLibraryPath(outputPath);
        return;
    }
    if (!settings_.relativePath.empty() && static_cast<size_t>(cursor_) < plan_.size()) {
        // The library drops as many leading characters as the relative path
        // has, whatever they are: an entry outside that path keeps its
        // whole stored path instead.
        std::string name = plan_[static_cast<size_t>(cursor_)].name;
        for (char &c : name)
            if (c == '/')
                c = '\\';
        if (!name.empty() && name[0] == '\\')
            name.erase(name.begin());
        if (!IsBelow(name, settings_.relativePath)) {
            std::string path = settings_.outputDir;
            if (!path.empty() && path.back() != '\\' && path.back() != ':')
                path += '\\';
            Put(outputPath, path + name);
        }
    }
    outputShown_ = FromLibraryPath({outputPath, strnlen(outputPath, kOutputPathSize)});
    // Counted when the next entry begins or the run ends well; a skipped
    // entry is taken back in OnReplace.
    pendingPass_ = cursor_;
}

FailureContext ExtractionRun::Context(uint16_t status) const
{
    FailureContext context;
    context.phase = Phase::Run;
    context.refusal = status == QM_STATUS_BAD_PASSWORD ? answers_.refusal()
                                                       : PasswordAnswers::Refusal::None;
    context.entry = Shown(failedEntry(status));
    if (status == QM_STATUS_BAD_PASSWORD && !answers_.refusedEntry().empty())
        context.entry = FromLibraryText(answers_.refusedEntry());
    context.outputPath = cursor_ >= 0 ? outputShown_ : std::string();
    context.stopRequested = console_.StopRequested();
    if (status == QM_STATUS_CANNOT_OPEN && !context.outputPath.empty())
        context.reason = WhyCannotCreate(context.outputPath, settings_.archiveShown);
    const auto at = static_cast<size_t>(failedEntry(status));
    if (status == QM_STATUS_WRITE_FAILED && !context.outputPath.empty() && at < plan_.size())
        context.reason = WhyCannotWrite(context.outputPath, plan_[at].unpackedSize);
    return context;
}

int32_t QM_CALL ExtractionRun::OnFileName(QmUserValue user, const char *, char *outputPath)
{
    Self(user)->BeginEntry(outputPath);
    return 0;
}

int32_t QM_CALL ExtractionRun::OnReplace(QmUserValue user, WIN32_FIND_DATAA *existing,
                                         WIN32_FIND_DATAA *incoming)
{
    ExtractionRun *self = Self(user);
    if (self->cursor_ <= self->skipThrough_)
        return ReplaceAnswers::kSkip;
    if (!self->replace_)
        return ReplaceAnswers::kOverwrite;
    // An entry extracted to the same path earlier in this run (e puts
    // A\X.TXT and B\X.TXT both at X.TXT).
    std::optional<ReplaceAnswers::Collision> collision;
    if (const auto earlier = self->extractedTo_.find(PathKey(self->outputShown_));
        earlier != self->extractedTo_.end())
        collision = ReplaceAnswers::Collision{self->Shown(earlier->second), self->Shown(self->cursor_)};
    const int32_t answer = self->replace_->Answer(
        self->outputShown_, existing ? DescribeFindData(*existing) : std::string("?"),
        incoming ? DescribeFindData(*incoming) : std::string("?"), collision ? &*collision : nullptr);
    if (answer == ReplaceAnswers::kSkip) {
        self->pendingPass_ = -1;
        if (static_cast<size_t>(self->cursor_) < self->plan_.size())
            self->display_.ReduceTotal(self->plan_[static_cast<size_t>(self->cursor_)].unpackedSize);
    }
    return answer;
}

int32_t QM_CALL ExtractionRun::OnProgress(QmUserValue user, int32_t percent, int32_t count)
{
    ExtractionRun *self = Self(user);
    if (self->console_.StopRequested())
        return 0;
    if (count > 0)
        self->bytesDone_ += count;
    self->display_.Update(self->Shown(self->cursor_), percent, self->bytesDone_);
    return 1;
}

int32_t QM_CALL ExtractionRun::OnPassword(QmUserValue user, char *buffer, const char *name,
                                          int32_t kind)
{
    ExtractionRun *self = Self(user);
    if (kind == 1)
        return self->answers_.AnswerHeader(buffer, 256);
    if (kind != 0 || !name)
        return self->answers_.Decline(PasswordAnswers::Refusal::UnknownKind);
    self->display_.ClearProgress();

    // After its file-name callback, a question about the same entry comes
    // from a CRC mismatch; otherwise it is the question before the next
    // entry, asked while the library holds no data password.  (A plain entry
    // never gets the first kind: its mismatch ends the run.)
    const auto at = static_cast<size_t>(self->cursor_);
    const bool afterMismatch = self->inEntry_ && self->cursor_ >= 0 && at < self->plan_.size() &&
                               self->plan_[at].cipherMethod != QM_CIPHER_NONE &&
                               SameName(self->plan_[at].name, name);
    self->inEntry_ = false;
    int index;
    int32_t method;
    if (afterMismatch) {
        index = self->cursor_;
        method = self->plan_[at].cipherMethod;
    } else {
        index = self->cursor_ + 1;
        const auto next = static_cast<size_t>(index);
        method = next < self->plan_.size() ? self->plan_[next].cipherMethod : QM_CIPHER_DES;
        if (index <= self->skipThrough_)
            method = QM_CIPHER_NONE;  // passed over: no password needed
    }
    self->questionIndex_ = index;
    const int32_t result =
        self->answers_.AnswerData(buffer, kAnswerSize, name, method, index, afterMismatch);
    if (afterMismatch && result == 1)
        self->retryPending_ = true;
    return result;
}

PreparedArchive::PreparedArchive(const CommandLine &line, Console &console, Display &display)
    : answers(console, display, line), session(line, answers), archive_(FromLibraryPath(line.archive))
{
    FailureContext context;
    context.masksGiven = !line.masks.empty();
    if (session.status() != QM_STATUS_OK) {
        context.refusal = answers.refusal();
        if (session.status() == QM_STATUS_BAD_PASSWORD)
            context.headersEnciphered = SignatureSaysHeadersEnciphered(archive_);
        context.stopRequested = console.StopRequested();
        failure_ = ReportOpenFailure(display, archive_, session.status(), context);
        return;
    }
    // quill's masks choose from every entry (mask_selection.h); the library
    // then runs over the names chosen.
    walk = WalkEntries(masks);
    // Damage in the header blocks with entries found: the run goes ahead.
    // The library extracts the entries behind a lost first block and none
    // before a damaged later block, and ends with the damage either way.
    const auto damagedWithEntries = [this] {
        return walk.status == QM_STATUS_BAD_HEADER && !walk.entries.empty();
    };
    if ((walk.status == QM_STATUS_OK || damagedWithEntries()) && !line.masks.empty()) {
        const Selection selection = SelectEntries(walk.entries, line.masks);
        ReportUnmatched(display, archive_, selection.unmatched);
        unmatchedMasks_ = !selection.unmatched.empty();
        if (selection.entries.empty() && walk.status == QM_STATUS_OK) {
            failure_ = kExitNothingMatched;
            return;
        }
        if (!selection.entries.empty() && !selection.libraryMasks.empty()) {
            if (!masks.Fill(selection.libraryMasks)) {
                failure_ = ReportFailure(display, archive_, GetArchiveStatus(), context);
                return;
            }
            walk = WalkEntries(masks);
        }
        if (selection.entries.empty())
            walk.entries.clear();  // the damage is reported below
    }
    if (walk.status != QM_STATUS_OK && !damagedWithEntries()) {
        context.phase = Phase::Walk;
        context.refusal = answers.refusal();
        failure_ = ReportFailure(display, archive_, walk.status, context);
    }
}

int64_t PreparedArchive::totalSize() const
{
    int64_t total = 0;
    for (const Entry &e : walk.entries)
        total += e.unpackedSize > 0 ? e.unpackedSize : 0;
    return total;
}

}  // namespace quill
