// session.cpp - opening and closing the archive session.
//
// Opening checks that the carrier exists, finds the signature record and
// header block 1, records their positions and closes the file again.  Only a
// successful open clears ArchiveStatus and empties the seven callback slots
// that belong to a session, so the host registers its callbacks afterwards.
#include "container/session.h"

#include <cstring>

#include "state/callbacks.h"
#include "state/status.h"
#include "container/locator.h"
#include "container/statistics.h"
#include "state/path_settings.h"

namespace qm {

SessionState Session;

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

void CloseCarrier()
{
    platform::Close(CarrierStream);
    CarrierStream = nullptr;
}

}  // namespace

bool FileExists(const char *path) { return path && *path && platform::PathExists(path); }

void InitHidFile(const char *path, const ArcOpenParams *params)
{
    static const ArcOpenParams kNoParams{};
    if (!params)
        params = &kNoParams;

    std::memset(RelativePath, 0, sizeof RelativePath);
    std::memset(&Session, 0, sizeof Session);

    Session.HeadersEnciphered = params->headersEnciphered;
    Session.SessionCipher = params->dataCipherMethod;
    CopyField(Session.DataPassword, sizeof Session.DataPassword, params->dataPassword);
    if (params->headerPassword[0] != '\0')
        CopyField(Session.HeaderPassword, sizeof Session.HeaderPassword, params->headerPassword);

    // A path too long for CarrierPath cannot be kept, and a cut one could
    // name another file: it counts as one that does not exist.
    const bool fits = path && std::memchr(path, 0, kCarrierPathSize) != nullptr;
    if (!fits || !FileExists(path)) {
        ArchiveStatus = QM_STATUS_NO_CARRIER;
        return;
    }
    std::strcpy(Session.CarrierPath, path);

    CarrierStream = platform::OpenForRead(Session.CarrierPath);
    if (!CarrierStream) {
        ArchiveStatus = QM_STATUS_CANNOT_OPEN;
        return;
    }
    if (!LocateSignature(CarrierStream)) {
        CloseCarrier();
        ArchiveStatus = QM_STATUS_NO_SIGNATURE;
        return;
    }
    if (!FindFirstBlock(CarrierStream)) {
        CloseCarrier();
        ArchiveStatus = QM_STATUS_BAD_PASSWORD;
        return;
    }
    EmptySessionCallbackSlots();
    ArchiveStatus = QM_STATUS_OK;
    CloseCarrier();
}

void InitArcFile(const char *path)
{
    ArchiveStatus = QM_STATUS_OK;
    ClearArcStatistics();
    InitHidFile(path, nullptr);
}

void DoneHidFile()
{
    std::memset(Session.CarrierPath, 0, sizeof Session.CarrierPath);
    std::memset(InputPath, 0, sizeof InputPath);
}

}  // namespace qm
