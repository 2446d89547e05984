// cipher_fixtures.h - a small set of enciphered carrier files for tests that
// cannot run OpenSSL themselves (the Windows test run).
//
// WriteCipherFixtures writes into a directory:
//   cipher-m0.qm       entries enciphered with single DES (method 0)
//   cipher-m1.qm       entries enciphered with two-key triple DES (method 1),
//                      one of them empty, one larger than a reader's chunk
//   cipher-m2.qm       an entry with a chaining value only (method 2)
//   cipher-headers.qm  header blocks enciphered under the header password,
//                      entries with methods -1, 1 and 0 under the data
//                      password (another password, another method)
//   cipher-headers-plain.qm  header blocks enciphered under the header
//                      password, entries plain (one of them empty)
//   <carrier>.<entry>.plain  the plain data of each entry
//   manifest.tsv       one line per entry (see kManifestColumns)
// Every carrier starts with its signature record at offset 0, so the first
// header block is at offset 34.
#pragma once

#include <string>

namespace qmpack {

// The manifest's first line, naming its tab-separated columns.
inline constexpr const char *kManifestColumns =
    "carrier\tentry\tname\tmethod\tdata_password\twrong_password\theader_password\t"
    "headers_enciphered\tblock_offset\tdata_offset\tpacked\tunpacked\tcrc\tplain";

// Writes the fixtures, creating the directory if need be; false when a file
// could not be written.
bool WriteCipherFixtures(const std::string &directory);

}  // namespace qmpack
