// session.cpp - opening and closing the archive session.
//
// Opening checks that the carrier exists, finds the signature record and
// header block 1, records their positions and closes the file again.  Only a
// successful open clears session.status and empties the seven callback slots
// that belong to a session, so the host registers its callbacks afterwards.
#include "container/session.h"

#include <cstring>

#include "container/locator.h"
#include "container/statistics.h"

namespace qm {

namespace {

// Copies a NUL-terminated string of at most size - 1 characters; a longer
// one is cut, so the field always ends in a NUL.
void CopyField(char *field, std::size_t size, const char *text)
{
    std::memset(field, 0, size);
    const void *nul = std::memchr(text, 0, size);
    const std::size_t length = nul ? static_cast<std::size_t>(static_cast<const char *>(nul) - text)
                                   : size - 1;
    std::memcpy(field, text, length);
}

void CloseCarrier(CarrierSession &session)
{
    platform::Close(session.carrier);
    session.carrier = nullptr;
}

}  // namespace

bool FileExists(const char *path) { return path && *path && platform::PathExists(path); }

void InitHidFile(CarrierSession &session, const char *path, const ArcOpenParams *params)
{
    static const ArcOpenParams kNoParams{};
    if (!params)
        params = &kNoParams;

    std::memset(session.paths.relative, 0, sizeof session.paths.relative);
    SessionState &archive = session.archive;
    std::memset(&archive, 0, sizeof archive);

    archive.HeadersEnciphered = params->headersEnciphered;
    archive.SessionCipher = params->dataCipherMethod;
    CopyField(archive.DataPassword, sizeof archive.DataPassword, params->dataPassword);
    if (params->headerPassword[0] != '\0')
        CopyField(archive.HeaderPassword, sizeof archive.HeaderPassword, params->headerPassword);

    // A path too long for CarrierPath cannot be kept, and a cut one could
    // name another file: it counts as one that does not exist.
    const bool fits = path && std::memchr(path, 0, kCarrierPathSize) != nullptr;
    if (!fits || !FileExists(path)) {
        session.status = QM_STATUS_NO_CARRIER;
        return;
    }
    std::strcpy(archive.CarrierPath, path);

    session.carrier = platform::OpenForRead(archive.CarrierPath);
    if (!session.carrier) {
        session.status = QM_STATUS_CANNOT_OPEN;
        return;
    }
    if (!LocateSignature(session, session.carrier)) {
        CloseCarrier(session);
        session.status = QM_STATUS_NO_SIGNATURE;
        return;
    }
    if (!FindFirstBlock(session, session.carrier)) {
        CloseCarrier(session);
        session.status = QM_STATUS_BAD_PASSWORD;
        return;
    }
    EmptySessionCallbackSlots(session.callbacks);
    session.status = QM_STATUS_OK;
    CloseCarrier(session);
}

void InitArcFile(CarrierSession &session, const char *path)
{
    session.status = QM_STATUS_OK;
    ClearArcStatistics(session.statistics);
    InitHidFile(session, path, nullptr);
}

void DoneHidFile(CarrierSession &session)
{
    std::memset(session.archive.CarrierPath, 0, sizeof session.archive.CarrierPath);
    std::memset(session.paths.input, 0, sizeof session.paths.input);
}

}  // namespace qm
