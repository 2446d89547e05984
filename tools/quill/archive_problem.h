// archive_problem.h - why an archive file cannot be opened, in the file
// system's words.
//
// The library reports only that the carrier is missing or cannot be opened.
// quill then asks the file system itself, so the message can say what the
// path is (a folder, a device, a pipe) or give the system's reason
// ("Permission denied").
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "quill/failure_messages.h"

namespace quill {

class Display;

// What keeps `path` (as the system takes it) from being read as a file;
// nothing when the file system sees no problem.
std::optional<std::string> ArchiveProblem(const std::string &path);

// ReportFailure for a failed open: with the file system's reason when the
// library could not open the file.
int ReportOpenFailure(Display &display, const std::string &archiveShown, uint16_t status,
                      const FailureContext &context);

}  // namespace quill
