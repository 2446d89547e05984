// archive_problem.cpp - the file system's reason for an archive that does not
// open (see archive_problem.h).
#include "quill/archive_problem.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "quill/exit_codes.h"
#include "quill/progress_display.h"
#include "quillmark.h"

namespace quill {

std::optional<std::string> ArchiveProblem(const std::string &path)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec) {
        if (ec == std::errc::no_such_file_or_directory)
            return "no such file";
        return "cannot be opened: " + ec.message();
    }
    switch (status.type()) {
    case fs::file_type::regular:
        break;
    case fs::file_type::directory:
        return "is a folder, not an archive file";
    case fs::file_type::character:
    case fs::file_type::block:
        return "is a device, not an archive file";
    case fs::file_type::fifo:
        return "is a pipe, not an archive file";
    case fs::file_type::socket:
        return "is a socket, not an archive file";
    default:
        return "is not a regular file";
    }
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        return std::string("cannot be opened: ") + std::strerror(errno);
    std::fclose(file);
    return std::nullopt;
}

int ReportOpenFailure(Display &display, const std::string &archiveShown, uint16_t status,
                      const FailureContext &context)
{
    if (status == QM_STATUS_NO_CARRIER || status == QM_STATUS_CANNOT_OPEN) {
        if (const auto problem = ArchiveProblem(archiveShown)) {
            display.Err("quill: " + archiveShown + ": " + *problem);
            return kExitUnreadable;
        }
    }
    return ReportFailure(display, archiveShown, status, context);
}

}  // namespace quill
