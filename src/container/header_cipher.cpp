// header_cipher.cpp - deciphering one enciphered header block.
//
// Header blocks are always single DES (method 0), each of their 54 8-byte
// blocks on its own, under the MD5 digest of the session's HeaderPassword,
// whatever cipher the entry uses for its data.  There is no other test of
// the password than the header CRC of the deciphered block.
//
// When the CRC does not match, the host is asked through SetCryptKeyProc
// with kind 1: the answer buffer is HeaderPassword itself, cleared to zero,
// and the name is the carrier path.  Any result but 0 means "try this one";
// the host decides how many attempts there are.  With no callback the block
// simply fails and the status is left alone: the open turns that into 9961,
// and a list walk ends there with 9964, since a later block that the opening
// password does not fit is damaged (see header_block.cpp).
//
// The header key is a schedule of its own, kept in the session beside the
// password it was built from and rebuilt only when the password changes;
// the data path's key state is never touched.
#include "container/header_cipher.h"

#include <cstring>

#include "container/header_block.h"
#include "container/session.h"
#include "crypto/cipher.h"

namespace qm {

namespace {

// The schedule of the current HeaderPassword, built when it changed.
const DesSchedule &HeaderKey(SessionState &archive)
{
    if (!archive.HeaderKeyBuilt ||
        std::memcmp(archive.HeaderKeyPassword, archive.HeaderPassword, sizeof archive.HeaderPassword) != 0) {
        std::uint8_t digest[16];
        PasswordDigest(archive.HeaderPassword, digest);
        archive.HeaderSchedule = {};
        BuildDesSchedule(digest, DesDirection::Decrypt, archive.HeaderSchedule);
        std::memcpy(archive.HeaderKeyPassword, archive.HeaderPassword, sizeof archive.HeaderPassword);
        archive.HeaderKeyBuilt = 1;
    }
    return archive.HeaderSchedule;
}

// One attempt with the current HeaderPassword: single DES, each of the 54
// 8-byte blocks on its own.
bool TryHeaderPassword(SessionState &archive, std::uint8_t *out, const std::uint8_t *in)
{
    static_assert(kHeaderBlockSize % 8 == 0);
    std::memcpy(out, in, kHeaderBlockSize);
    DesBlocks(out, kHeaderBlockSize / 8, HeaderKey(archive));
    return CheckHeaderBlockCrc(out);
}

// Asks the host for the header password; its answer lands in HeaderPassword.
// The host sees a copy of the carrier path, so a host that writes into the
// name cannot send later walks to another file.
std::int32_t AskHeaderPassword(CarrierSession &session)
{
    SessionState &archive = session.archive;
    char name[kCarrierPathSize];
    std::memcpy(name, archive.CarrierPath, sizeof name);
    name[sizeof name - 1] = '\0';
    std::memset(archive.HeaderPassword, 0, sizeof archive.HeaderPassword);
    const auto &slot = session.callbacks.cryptKey;
    const std::int32_t result = slot.proc(slot.user, archive.HeaderPassword, name, 1);
    // The host was given 256 bytes: whatever it wrote, the password ends there.
    archive.HeaderPassword[sizeof archive.HeaderPassword - 1] = '\0';
    return result;
}

}  // namespace

bool DecipherHeaderBlock(CarrierSession &session, std::uint8_t *out, const std::uint8_t *in)
{
    for (;;) {
        if (TryHeaderPassword(session.archive, out, in))
            return true;
        if (!session.callbacks.cryptKey.proc)
            return false;
        if (AskHeaderPassword(session) == 0) {
            session.status = QM_STATUS_BAD_PASSWORD;
            return false;
        }
    }
}

}  // namespace qm
