// scan_probe.cpp - one file of "quill scan" through qm_find_signature and
// the handle API.
#include "quill/scan_probe.h"

#include <algorithm>
#include <cstring>

#include "quill/scan_file.h"
#include "quillmark_reader.h"

namespace quill {

namespace {

constexpr std::size_t kSignatureWindow = 81920;

// A signature record starts with these bytes.  Most files hold no 'Q', and
// memchr passes over those far faster than a test at every offset, so the
// library's full test starts only where the string does.
constexpr char kSignatureString[] = "Quillmark!";
constexpr std::size_t kSignatureStringSize = sizeof kSignatureString - 1;

std::int64_t FindSignature(const unsigned char *bytes, std::size_t n, int *enciphered)
{
    *enciphered = 0;
    for (std::size_t i = 0; i + kSignatureStringSize <= n;) {
        const void *q = std::memchr(bytes + i, kSignatureString[0], n - i);
        if (!q)
            return -1;
        i = static_cast<std::size_t>(static_cast<const unsigned char *>(q) - bytes);
        if (i + kSignatureStringSize <= n && std::memcmp(bytes + i, kSignatureString, kSignatureStringSize) == 0) {
            // From here on the library decides, at this offset or a later one.
            const std::int64_t at = qm_find_signature(bytes + i, n - i, enciphered);
            return at < 0 ? -1 : static_cast<std::int64_t>(i) + at;
        }
        ++i;
    }
    return -1;
}

// The archive's bytes for the library: the head from memory, the rest from
// the file.
struct Served {
    ScanFile *file;
    const unsigned char *head;
    std::size_t headSize;
};

int64_t QM_READER_CALL ReadServed(void *user, uint64_t offset, void *buffer, size_t size)
{
    auto &s = *static_cast<Served *>(user);
    if (offset + size <= s.headSize) {
        std::memcpy(buffer, s.head + offset, size);
        return static_cast<int64_t>(size);
    }
    return s.file->ReadAt(offset, buffer, size);
}

// Walks the entries (checking each with --test) and closes the archive.
void WalkEntries(qm_archive *a, bool test, ScanResult &r)
{
    const qm_entry *e = nullptr;
    int code;
    r.entries = 0;
    while ((code = qm_next_entry(a, &e)) == 0) {
        ++r.entries;
        if (!test)
            continue;
        const int t = qm_test_entry(a);
        if (t == QM_E_CRC || t == QM_E_DAMAGED)
            r.damaged.emplace_back(e->name);
        else if (t == QM_E_NEED_PASSWORD || t == QM_E_BAD_PASSWORD)
            r.locked.emplace_back(e->name);
        else if (t < 0 && r.error.empty())
            r.error = qm_error_message(a);
    }
    if (code < 0) {
        r.damagedHeader = code == QM_E_DAMAGED;
        r.error = qm_error_message(a);
    }
}

}  // namespace

ScanProbe::ScanProbe(bool test) : test_(test), head_(kSignatureWindow) {}

ScanResult ScanProbe::Probe(ScanFile &file)
{
    ScanResult r;
    r.tested = test_;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(file.Length(), kSignatureWindow));
    const std::int64_t got = file.ReadAt(0, head_.data(), want);
    if (got < 0) {
        r.kind = ScanResult::Kind::Unreadable;
        r.error = file.LastError();
        return r;
    }
    int enciphered = 0;
    r.offset = FindSignature(head_.data(), static_cast<std::size_t>(got), &enciphered);
    if (r.offset < 0)
        return r;
    r.kind = ScanResult::Kind::Archive;
    r.headersEnciphered = enciphered != 0;

    Served served{&file, head_.data(), static_cast<std::size_t>(got)};
    const qm_source source{sizeof(qm_source), ReadServed, file.Length(), &served};
    qm_archive *a = nullptr;
    const int opened = qm_open_source(&source, nullptr, &a);
    if (opened == QM_E_NEED_PASSWORD || opened == QM_E_BAD_PASSWORD) {
        r.headersLocked = true;
        return r;
    }
    if (opened == QM_E_IO) {
        r.kind = ScanResult::Kind::Unreadable;
        r.error = file.LastError();
        return r;
    }
    if (opened < 0) {
        // A signature without a usable first header block.
        r.damagedHeader = true;
        r.error = qm_error_message(nullptr);
        return r;
    }
    WalkEntries(a, test_, r);
    qm_close(a);
    return r;
}

}  // namespace quill
