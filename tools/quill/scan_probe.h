// scan_probe.h - what "quill scan" learns of one file: whether it holds an
// archive, and where, with how many entries, under which header cipher, and
// (with --test) which entries are damaged.
//
// The first 81,920 bytes are read once, into a buffer each worker thread
// keeps for all its files; a file without a signature among them costs
// nothing more.  An archive is then opened on the handle API over the same
// open file, the bytes already read served from memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "quill/scan_file.h"

namespace quill {

struct ScanResult {
    enum class Kind { NotArchive, Archive, Unreadable };
    std::string path;
    Kind kind = Kind::NotArchive;
    std::string error;               // why a file is unreadable or an archive is damaged
    std::int64_t offset = -1;        // of the signature record
    bool headersEnciphered = false;
    bool headersLocked = false;      // enciphered, and no password: entries unknown
    std::int64_t entries = -1;       // -1 when unknown
    bool damagedHeader = false;      // the walk stopped at a damaged header block
    bool tested = false;
    std::vector<std::string> damaged;    // entries whose data did not match or ended early (UTF-8)
    std::vector<std::string> locked;     // entries that need a password to be checked (UTF-8)
};

// One worker thread's prober.
class ScanProbe {
public:
    explicit ScanProbe(bool test);
    // What file holds; the caller fills in the path where it reports one.
    ScanResult Probe(ScanFile &file);

private:
    bool test_;
    std::vector<unsigned char> head_;
};

}  // namespace quill
