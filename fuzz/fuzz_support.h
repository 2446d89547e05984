// fuzz_support.h - what the fuzz targets share: a scratch folder for the
// files a run makes, the control bytes that pick a host's choices, and the
// checks that nothing lands outside the output folder.
//
// Output never goes anywhere but a scratch folder of the process
// ($TMPDIR/qm-fuzz-<pid>, /tmp when TMPDIR is unset), emptied at the start of
// every run and removed when the process ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qmfuzz {

// The process's scratch folder, made on first use, ending in '/'.
const std::string &ScratchRoot();

// Empties a folder (read-only files and folders included) and makes it anew.
void ResetFolder(const std::string &path);

// Writes bytes to a file; aborts when that fails.
void WriteWhole(const std::string &path, const std::uint8_t *data, std::size_t size);

// The first `count` bytes of the input, zero where the input is shorter.
struct Controls {
    std::uint8_t bytes[8] = {};
    Controls(const std::uint8_t *data, std::size_t size);
    std::uint8_t operator[](std::size_t i) const { return bytes[i]; }
    bool Bit(std::size_t byte, unsigned bit) const { return (bytes[byte] >> bit) & 1; }
};

// True when `path` (the library's form: backslashes or slashes) names a place
// inside `folder` (ending in a separator): it begins with the folder, and
// what follows is not absolute and climbs out through no ".." component.
// With an empty folder the path must be relative and never climb.
bool StaysInside(const std::string &path, const std::string &folder);

// Walks `root` and aborts, naming the path, when anything in it other than
// the names in `allowed` (direct children of root: files, or folders whose
// contents count as outside) and what lies inside `inside` (a folder under
// root) exists, or when a real path under `inside` resolves outside it.
// Links are passed over: the library makes none, and the harness plants
// them.  Returns the total size of the regular files found.
std::uint64_t CheckTree(const std::string &root, const std::string &inside,
                        const std::vector<std::string> &allowed);

// Aborts with a message: a finding.
[[noreturn]] void Fail(const char *what, const std::string &detail);

}  // namespace qmfuzz
