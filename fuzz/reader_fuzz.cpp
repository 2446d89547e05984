// reader_fuzz.cpp - fuzz target over the handle API: qm_open_memory and
// reading every entry, as a host of quillmark_reader.h would.
//
// The first input byte chooses the host: bit 0 gives a data password, bit 1
// a header password, bit 2 a password callback (answering "secret" twice,
// then giving up), bits 3-4 the size of the read buffer (1, 7, 4096 or
// 65536 bytes).  The rest is the archive, held in memory; it is read a second
// time through qm_open_source, which must give the same bytes and codes.
//
// Each entry's bytes are read up to a cap of 4 MiB (a stream can claim 2 GiB
// and code it in a few bits); past it the entry is skipped.  Findings: a
// crash or a sanitizer report, a code outside the documented ones, more
// bytes than an entry's size, an error that does not stay, an error without
// a message, an entry count that disagrees with the walk, or the two forms
// of open disagreeing.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "quillmark_reader.h"

namespace {

using qmfuzz::Fail;

constexpr std::uint64_t kEntryCap = 4u << 20;
constexpr std::size_t kPieces[4] = {1, 7, 4096, 65536};

struct Host {
    int answers = 0;
};

int QM_READER_CALL Answer(void *user, int, const char *, char *answer, size_t size)
{
    auto &host = *static_cast<Host *>(user);
    if (++host.answers > 2)
        return 0;
    std::snprintf(answer, size, "%s", "secret");
    return 1;
}

bool KnownError(std::int64_t code) { return code <= QM_E_ARGUMENT && code >= QM_E_OUTPUT; }

// Everything one pass over the archive gives: per entry its name, bytes and
// final code, then the walk's end.
struct Transcript {
    std::vector<std::string> names;
    std::vector<std::vector<std::uint8_t>> data;
    std::vector<std::int64_t> codes;
    int open = 0;
    int end = 0;
    bool operator==(const Transcript &) const = default;
};

struct Memory {
    const std::uint8_t *data;
    std::size_t size;
};

int64_t QM_READER_CALL ReadAt(void *user, uint64_t offset, void *buf, size_t size)
{
    const auto &m = *static_cast<Memory *>(user);
    if (offset >= m.size)
        return 0;
    const std::size_t n = size < m.size - offset ? size : m.size - static_cast<std::size_t>(offset);
    std::memcpy(buf, m.data + offset, n);
    return static_cast<int64_t>(n);
}

Transcript Pass(const std::uint8_t *data, std::size_t size, std::uint8_t control, bool viaSource)
{
    Host host;
    qm_options options{sizeof options, (control & 1) ? "secret" : nullptr, (control & 2) ? "secret" : nullptr,
                       (control & 4) ? Answer : nullptr, &host};
    Transcript t;
    qm_archive *a = nullptr;
    Memory memory{data, size};
    const qm_source source{sizeof source, ReadAt, size, &memory};
    t.open = viaSource ? qm_open_source(&source, &options, &a) : qm_open_memory(data, size, &options, &a);
    if (t.open != 0) {
        if (a || !KnownError(t.open) || qm_error_message(nullptr)[0] == '\0')
            Fail("a failed open", std::to_string(t.open));
        return t;
    }
    const std::int64_t count = qm_entry_count(a);
    std::vector<std::uint8_t> buffer(kPieces[(control >> 3) & 3]);
    const qm_entry *e = nullptr;
    int r;
    while ((r = qm_next_entry(a, &e)) == 0) {
        t.names.push_back(e->name);
        std::vector<std::uint8_t> bytes;
        std::int64_t n;
        while ((n = qm_read_data(a, buffer.data(), buffer.size())) > 0) {
            if (static_cast<std::uint64_t>(n) > buffer.size())
                Fail("a read beyond the buffer", std::to_string(n));
            bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + n);
            if (bytes.size() > e->size)
                Fail("more bytes than the entry's size", e->name);
            if (bytes.size() >= kEntryCap) {
                qm_skip_entry(a);
                n = 0;
                break;
            }
        }
        if (n < 0) {
            if (!KnownError(n) || qm_error_message(a)[0] == '\0')
                Fail("an entry's error", std::to_string(n));
            if (qm_read_data(a, buffer.data(), buffer.size()) != n)
                Fail("an error that does not stay", std::to_string(n));
        }
        t.data.push_back(std::move(bytes));
        t.codes.push_back(n);
    }
    t.end = r;
    if (r != 1 && (!KnownError(r) || qm_error_message(a)[0] == '\0'))
        Fail("the walk's end", std::to_string(r));
    if (r == 1 && count != static_cast<std::int64_t>(t.names.size()))
        Fail("the count disagrees with the walk", std::to_string(count));
    qm_close(a);
    return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::uint8_t control = data[0];
    const Transcript memory = Pass(data + 1, size - 1, control, false);
    const Transcript source = Pass(data + 1, size - 1, control, true);
    if (!(memory == source))
        Fail("qm_open_memory and qm_open_source disagree", "");
    return 0;
}
