// driver.cpp - the extraction run, entry by entry.
//
// One entry goes through these states; every failure ends the whole run.
//
//   selected      magic not 77 or not valid: next entry
//   keyed         no data password to be had: 9961
//   named         output name composed (too long for 255 characters: 5),
//                 shown to the host's SetFileNameProc, which may rewrite it
//   asked         replace answer 1: next entry; 2: 2926.  Asked once per
//                 entry: a retry with a new password keeps the first answer
//                 while the output name is the same.
//   opening       the final name may not be written (a folder, a read-only
//                 file, the carrier, a link among the folders below the
//                 output folder) or the temporary file beside it, or a
//                 directory, cannot be made: 5
//   transferring  status set by the copy or decoder (8, 101, 2926, or the
//                 host's own from a progress callback): temporary file removed
//   checking      CRC equal: finishing.  Mismatch, not enciphered: 9962.
//                 Mismatch, enciphered: asked again; 0 or no callback 9961,
//                 1 the same entry anew with the new password, any other
//                 answer keeps the file unless the host set a status.
//   finishing     time set, renamed over the final name, attributes set;
//                 rename fails: 5, nothing replaced; time cannot be set: 5,
//                 the file renamed into place all the same
//
// Whatever stood at the final name is untouched by every failure before the
// rename (see output_file.h).
#include "extract/driver.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "state/callbacks.h"
#include "state/status.h"
#include "container/header_block.h"
#include "container/lists.h"
#include "container/session.h"
#include "crypto/crc32.h"
#include "extract/data_password.h"
#include "extract/output_file.h"
#include "extract/pipeline.h"
#include "paths/host_path.h"
#include "paths/output_name.h"
#include "unpack/unpack.h"

namespace qm {

namespace {

enum class EntryOutcome {
    kNext,   // go on with the next entry
    kAgain,  // extract the same entry anew (a new data password)
    kEnd,    // the run ends; ArchiveStatus says why
};

// The replace answer of an entry that is being extracted anew after a new
// data password: the host has already decided about that output name.
struct EarlierAnswer {
    bool given = false;
    std::string outputPath;
    std::int32_t answer = kReplace;
};

// Closes the output stream and removes its temporary file.
void DiscardOutput(PendingOutput &output)
{
    OutputStream = nullptr;
    DiscardOutputFile(&output);
}

// After the data phase: was everything the stream accepted really written?
// The last buffered bytes only reach the file when the stream is flushed.
void FlushOutput()
{
    if (ArchiveStatus == QM_STATUS_OK && !platform::Flush(OutputStream))
        ArchiveStatus = QM_STATUS_WRITE_FAILED;
}

// A mismatch of the data CRC: what the entry's cipher and the host make of it.
EntryOutcome CrcMismatch(const HidFileItem &entry, PendingOutput &output)
{
    if (ActiveCipher == QM_CIPHER_NONE) {
        ArchiveStatus = QM_STATUS_CRC_MISMATCH;
        DiscardOutput(output);
        return EntryOutcome::kEnd;
    }
    if (!Callbacks.cryptKey.proc) {
        ArchiveStatus = QM_STATUS_BAD_PASSWORD;
        DiscardOutput(output);
        return EntryOutcome::kEnd;
    }
    const PasswordAnswer answer = AskDataPassword(entry.name);
    if (answer.result == 0) {
        ArchiveStatus = QM_STATUS_BAD_PASSWORD;
        DiscardOutput(output);
        return EntryOutcome::kEnd;
    }
    if (answer.result == 1) {
        TakeDataPassword(answer);
        DiscardOutput(output);
        return EntryOutcome::kAgain;
    }
    if (ArchiveStatus != QM_STATUS_OK) {  // set by the host inside the question
        DiscardOutput(output);
        return EntryOutcome::kEnd;
    }
    return EntryOutcome::kNext;  // kept as written, mismatch and all
}

EntryOutcome ExtractEntry(const HidFileItem &entry, std::uint8_t *window, EarlierAnswer &earlier)
{
    if (entry.magic != kHeaderMagic || entry.valid == 0)
        return EntryOutcome::kNext;

    // The entry's data starts right behind its header block.
    platform::Seek(CarrierStream, static_cast<std::int64_t>(entry.headerPos) + entry.headerSize);
    PackedLeft = static_cast<std::uint32_t>(entry.packedSize);
    UnpackedLeft = entry.unpackedSize;
    ProgressTotal = entry.unpackedSize;
    DataCrc = 0xFFFFFFFF;
    Session.SessionCipher = entry.cipherMethod;
    ActiveCipher = entry.cipherMethod;

    if (!EnsureDataPassword(entry.name)) {
        ArchiveStatus = QM_STATUS_BAD_PASSWORD;
        return EntryOutcome::kEnd;
    }

    char outputPath[kOutputNameSize] = {};
    if (!ComposeOutputName(entry.name, outputPath)) {
        ArchiveStatus = QM_STATUS_CANNOT_OPEN;  // no name can be composed: nothing is written
        return EntryOutcome::kEnd;
    }

    if (const auto &slot = Callbacks.fileName; slot.proc) {
        char fileName[kOutputNameSize + 1] = {'\\'};  // a backslash and up to 255 characters
        std::memcpy(fileName + 1, entry.name, strnlen(entry.name, kOutputNameSize - 1));
        slot.proc(slot.user, fileName, outputPath);
        outputPath[kOutputNameSize - 1] = '\0';  // the host's rewrite ends inside the buffer
        HostSeparatorsToBackslashes(outputPath);
    }

    std::int32_t answer;
    if (earlier.given && earlier.outputPath == outputPath) {
        answer = earlier.answer;
    } else {
        answer = AskReplace(entry, outputPath);
        earlier = {true, outputPath, answer};
    }
    if (answer == kSkipEntry)
        return EntryOutcome::kNext;
    if (answer == kStopRun) {
        ArchiveStatus = QM_STATUS_STOPPED;
        return EntryOutcome::kEnd;
    }

    PendingOutput output;
    if (!OpenOutputFile(outputPath, &output))
        return EntryOutcome::kEnd;
    OutputStream = output.stream;

    Session.SessionCipher = entry.cipherMethod;
    ActiveCipher = entry.cipherMethod;
    ReadIvFirst = entry.cipherMethod == QM_CIPHER_TRIPLE_DES ||
                  entry.cipherMethod == QM_CIPHER_CHAINING_ONLY;

    // An entry is compressed exactly when its packed size is below its
    // unpacked size; there is no method field.
    if (entry.packedSize < entry.unpackedSize)
        UnpackStream(window);
    else
        CopyStored();
    FlushOutput();
    if (ArchiveStatus != QM_STATUS_OK) {
        DiscardOutput(output);
        return EntryOutcome::kEnd;
    }

    if (~DataCrc != entry.dataCrc) {
        const EntryOutcome outcome = CrcMismatch(entry, output);
        if (outcome != EntryOutcome::kNext)
            return outcome;
    }

    OutputStream = nullptr;
    if (!FinishOutputFile(&output, entry, outputPath))
        return EntryOutcome::kEnd;
    return EntryOutcome::kNext;
}

}  // namespace

void ExtractEntries(const HidFileList *list)
{
    CarrierStream = platform::OpenForRead(Session.CarrierPath);
    if (!CarrierStream) {
        ArchiveStatus = QM_STATUS_CANNOT_OPEN;
        return;
    }
    // The decoder's window, one for the whole run.  Zeroed, so that a damaged
    // stream that reaches back before its first byte copies zeros rather
    // than whatever the heap held.
    auto *window = static_cast<std::uint8_t *>(std::calloc(kWindowSize, 1));
    if (!window) {
        platform::Close(CarrierStream);
        CarrierStream = nullptr;
        ArchiveStatus = QM_STATUS_OUT_OF_MEMORY;
        return;
    }
    BuildCrc32Table();

    const HidFileItem *entry = list->first;
    EarlierAnswer earlier;
    while (entry) {
        const EntryOutcome outcome = ExtractEntry(*entry, window, earlier);
        if (outcome == EntryOutcome::kEnd)
            break;
        if (outcome == EntryOutcome::kNext) {
            entry = entry->next;
            earlier = {};
        }
    }

    std::free(window);
    platform::Close(CarrierStream);
    CarrierStream = nullptr;
}

void ExtractFileMaskListHid(const FileMaskList *masks)
{
    ArchiveStatus = QM_STATUS_OK;
    HidFileList list{0, nullptr, nullptr};
    WalkHidFileList(&list, masks);
    if (ArchiveStatus == QM_STATUS_OK)
        ExtractEntries(&list);
    // The entries behind a first block lost to damage are extracted; the
    // loss is reported once the run went well.
    ReportLostFirstBlock();
    qm::DoneHidFileList(&list);  // qualified: the export of the same name is not meant
}

}  // namespace qm
