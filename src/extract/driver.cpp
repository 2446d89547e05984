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

#include "container/header_block.h"
#include "container/lists.h"
#include "crypto/crc32.h"
#include "extract/data_password.h"
#include "extract/export_session.h"
#include "extract/output_file.h"
#include "extract/pipeline.h"
#include "paths/host_path.h"
#include "paths/output_name.h"
#include "platform/large_block.h"
#include "unpack/tables.h"

namespace qm {

namespace {

enum class EntryOutcome {
    kNext,   // go on with the next entry
    kAgain,  // extract the same entry anew (a new data password)
    kEnd,    // the run ends; session.status says why
};

// The replace answer of an entry that is being extracted anew after a new
// data password: the host has already decided about that output name.
struct EarlierAnswer {
    bool given = false;
    std::string outputPath;
    std::int32_t answer = kReplace;
};

// Closes the output stream and removes its temporary file.
void DiscardOutput(ExportSession &session, PendingOutput &output)
{
    session.transfer.output = nullptr;
    DiscardOutputFile(&output);
}

// After the data phase: was everything the stream accepted really written?
// The last buffered bytes only reach the file when the stream is flushed.
void FlushOutput(ExportSession &session)
{
    if (session.status == QM_STATUS_OK && !platform::Flush(session.transfer.output))
        session.status = QM_STATUS_WRITE_FAILED;
}

// A mismatch of the data CRC: what the entry's cipher and the host make of it.
EntryOutcome CrcMismatch(ExportSession &session, const HidFileItem &entry, PendingOutput &output)
{
    if (session.transfer.activeCipher == QM_CIPHER_NONE) {
        session.status = QM_STATUS_CRC_MISMATCH;
        DiscardOutput(session, output);
        return EntryOutcome::kEnd;
    }
    if (!session.callbacks.cryptKey.proc) {
        session.status = QM_STATUS_BAD_PASSWORD;
        DiscardOutput(session, output);
        return EntryOutcome::kEnd;
    }
    const PasswordAnswer answer = AskDataPassword(session, entry.name);
    if (answer.result == 0) {
        session.status = QM_STATUS_BAD_PASSWORD;
        DiscardOutput(session, output);
        return EntryOutcome::kEnd;
    }
    if (answer.result == 1) {
        TakeDataPassword(session, answer);
        DiscardOutput(session, output);
        return EntryOutcome::kAgain;
    }
    if (session.status != QM_STATUS_OK) {  // set by the host inside the question
        DiscardOutput(session, output);
        return EntryOutcome::kEnd;
    }
    return EntryOutcome::kNext;  // kept as written, mismatch and all
}

EntryOutcome ExtractEntry(ExportSession &session, const HidFileItem &entry, std::uint8_t *window, EarlierAnswer &earlier)
{
    if (entry.magic != kHeaderMagic || entry.valid == 0)
        return EntryOutcome::kNext;

    // The entry's data starts right behind its header block.
    TransferState &transfer = session.transfer;
    platform::Seek(session.carrier, static_cast<std::int64_t>(entry.headerPos) + entry.headerSize);
    transfer.packedLeft = static_cast<std::uint32_t>(entry.packedSize);
    transfer.unpackedLeft = entry.unpackedSize;
    transfer.progressTotal = entry.unpackedSize;
    transfer.dataCrc = 0xFFFFFFFF;
    session.archive.SessionCipher = entry.cipherMethod;
    transfer.activeCipher = entry.cipherMethod;

    if (!EnsureDataPassword(session, entry.name)) {
        session.status = QM_STATUS_BAD_PASSWORD;
        return EntryOutcome::kEnd;
    }

    char outputPath[kOutputNameSize] = {};
    if (!ComposeOutputName(session, entry.name, outputPath)) {
        session.status = QM_STATUS_CANNOT_OPEN;  // no name can be composed: nothing is written
        return EntryOutcome::kEnd;
    }

    if (const auto &slot = session.callbacks.fileName; slot.proc) {
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
        answer = AskReplace(session.callbacks, entry, outputPath);
        earlier = {true, outputPath, answer};
    }
    if (answer == kSkipEntry)
        return EntryOutcome::kNext;
    if (answer == kStopRun) {
        session.status = QM_STATUS_STOPPED;
        return EntryOutcome::kEnd;
    }

    PendingOutput output;
    if (!OpenOutputFile(session, outputPath, &output))
        return EntryOutcome::kEnd;
    transfer.output = output.stream;

    session.archive.SessionCipher = entry.cipherMethod;
    transfer.activeCipher = entry.cipherMethod;
    transfer.readIvFirst = entry.cipherMethod == QM_CIPHER_TRIPLE_DES ||
                  entry.cipherMethod == QM_CIPHER_CHAINING_ONLY;

    // An entry is compressed exactly when its packed size is below its
    // unpacked size; there is no method field.
    if (entry.packedSize < entry.unpackedSize)
        UnpackStream(session, window);
    else
        CopyStored(session);
    FlushOutput(session);
    if (session.status != QM_STATUS_OK) {
        DiscardOutput(session, output);
        return EntryOutcome::kEnd;
    }

    if (~transfer.dataCrc != entry.dataCrc) {
        const EntryOutcome outcome = CrcMismatch(session, entry, output);
        if (outcome != EntryOutcome::kNext)
            return outcome;
    }

    transfer.output = nullptr;
    if (!FinishOutputFile(session.status, &output, entry, outputPath))
        return EntryOutcome::kEnd;
    return EntryOutcome::kNext;
}

}  // namespace

void ExtractEntries(ExportSession &session, const HidFileList *list)
{
    // The decoder asks for its input 8 KiB at a time; through the C
    // library's 4 KiB buffer every ask took two reads of 4 KiB (2,800
    // system calls for 11 MiB of packed data).  With 64 KiB, one in eight;
    // the next entry's header, right behind the data, is often in the buffer
    // already.
    constexpr std::size_t kCarrierBuffer = 64 * 1024;
    session.carrier = platform::OpenForRead(session.archive.CarrierPath, kCarrierBuffer);
    if (!session.carrier) {
        session.status = QM_STATUS_CANNOT_OPEN;
        return;
    }
    // The decoder's window, one for the whole run.  Zeroed, so that a damaged
    // stream that reaches back before its first byte copies zeros rather
    // than whatever the heap held; a large block (large_block.h), since it
    // is written through.
    auto *window = static_cast<std::uint8_t *>(platform::AllocateLargeBlock(kWindowSize));
    if (!window) {
        platform::Close(session.carrier);
        session.carrier = nullptr;
        session.status = QM_STATUS_OUT_OF_MEMORY;
        return;
    }

    const HidFileItem *entry = list->first;
    EarlierAnswer earlier;
    while (entry) {
        const EntryOutcome outcome = ExtractEntry(session, *entry, window, earlier);
        if (outcome == EntryOutcome::kEnd)
            break;
        if (outcome == EntryOutcome::kNext) {
            entry = entry->next;
            earlier = {};
        }
    }

    platform::FreeLargeBlock(window, kWindowSize);
    platform::Close(session.carrier);
    session.carrier = nullptr;
}

void ExtractFileMaskListHid(ExportSession &session, const FileMaskList *masks)
{
    session.status = QM_STATUS_OK;
    HidFileList list{0, nullptr, nullptr};
    WalkHidFileList(session, &list, masks);
    if (session.status == QM_STATUS_OK)
        ExtractEntries(session, &list);
    // The entries behind a first block lost to damage are extracted; the
    // loss is reported once the run went well.
    ReportLostFirstBlock(session);
    qm::DoneHidFileList(&list);  // qualified: the export of the same name is not meant
}

}  // namespace qm
