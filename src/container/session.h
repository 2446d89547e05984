// session.h - the archive session: an open archive and the host's settings.
//
// The session keeps no file open between calls: it keeps the carrier file's
// path, a few positions and the passwords, and every later operation reopens
// the carrier by path.  `carrier` holds the carrier while an operation has
// it open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "crypto/cipher.h"
#include "platform/file.h"
#include "quillmark.h"
#include "state/host_state.h"

namespace qm {

constexpr std::size_t kCarrierPathSize = 261;
constexpr std::size_t kPasswordSize = 256;

using ListAllocator = void *(*)(std::size_t size);

struct SessionState {
    char CarrierPath[kCarrierPathSize];  // empty when no session is open
    std::int32_t ArchiveBase;            // S + 10, just behind the signature string
    std::int32_t FirstBlockPos;          // position of header block 1
    std::int32_t WalkPos;                // position of the next block the walk reads
    std::int32_t HeadersEnciphered;      // header blocks are deciphered when exactly 1
    CipherMethod SessionCipher;          // the open parameters' data cipher method
    char DataPassword[kPasswordSize];
    char HeaderPassword[kPasswordSize];
    // The bytes right behind the signature record hold a header block's
    // magic but not a matching CRC, and the open went on from a later block:
    // the first entry is lost to damage, and every list build says so.
    std::int32_t FirstBlockDamaged;
    // The header key: the schedule of HeaderKeyPassword, built when
    // HeaderKeyBuilt and kept while HeaderPassword stays the same, so that
    // header blocks do not digest the password and build the schedule anew
    // one by one.  All zero: nothing built.
    std::int32_t HeaderKeyBuilt;
    char HeaderKeyPassword[kPasswordSize];
    DesSchedule HeaderSchedule;
};

// The host's settings, the open archive, the carrier while an operation
// reads it, and the statistics of the last public list build.  A fresh one
// is a library just loaded: nothing open, statistics all zero.
struct CarrierSession : HostState {
    SessionState archive{};
    platform::File *carrier = nullptr;
    ArcExtraInfo statistics{};
    // Where list records and block copies come from: std::malloc, unless a
    // test puts an allocator that fails in its place.
    ListAllocator listAlloc = std::malloc;
};

// Opens the session on the carrier file at path; the outcome is in
// session.status (0, 2, 5, 9999 or 9961).  A null parameter block counts as
// an all-zero one.
void InitHidFile(CarrierSession &session, const char *path, const ArcOpenParams *params);

// Clears the status and the statistics, then opens with an all-zero
// parameter block.
void InitArcFile(CarrierSession &session, const char *path);

// Ends the session: CarrierPath and the input path become empty.
void DoneHidFile(CarrierSession &session);

// False for an empty path; otherwise true when the path names an existing
// file or directory.
bool FileExists(const char *path);

}  // namespace qm
