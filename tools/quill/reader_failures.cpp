// reader_failures.cpp - the handle API's errors in quill's words.
#include "quill/reader_failures.h"

#include <cstring>

#include "quill/archive_problem.h"
#include "quill/exit_codes.h"
#include "quill/signature_probe.h"
#include "quillmark.h"
#include "quillmark_reader.h"

namespace quill {

namespace {

std::string SystemReason(int systemError)
{
    return systemError != 0 ? std::string(": ") + std::strerror(systemError) : std::string();
}

}  // namespace

Failure DescribeReaderOpenFailure(int error, const std::string &archiveShown, FailureContext context)
{
    context.phase = Phase::Open;
    switch (error) {
    case QM_E_IO:
    case QM_E_NOT_ARCHIVE:
        // A folder, a device, a missing file: the file system says which.
        if (const auto problem = ArchiveProblem(archiveShown))
            return {*problem, kExitUnreadable};
        if (error == QM_E_IO)
            return {"the archive file cannot be opened" + SystemReason(qm_system_error(nullptr)),
                    kExitUnreadable};
        // The handle API finds no archive either without a signature or
        // without a first header block behind it; the record tells which.
        context.headersEnciphered = SignatureSaysHeadersEnciphered(archiveShown);
        if (!context.headersEnciphered)
            return DescribeFailure(QM_STATUS_NO_SIGNATURE, context);
        return DescribeFailure(QM_STATUS_BAD_PASSWORD, context);
    case QM_E_NEED_PASSWORD:
    case QM_E_BAD_PASSWORD:
        context.headersEnciphered = true;  // only those headers ask
        return DescribeFailure(QM_STATUS_BAD_PASSWORD, context);
    default:
        return DescribeReaderFailure(error, context, qm_system_error(nullptr));
    }
}

Failure DescribeReaderFailure(int error, const FailureContext &context, int systemError)
{
    switch (error) {
    case QM_E_CRC:
        return DescribeFailure(QM_STATUS_CRC_MISMATCH, context);
    case QM_E_DAMAGED:
        // In the walk, a header block; in an entry, data that ends early.
        if (context.phase == Phase::Walk)
            return DescribeFailure(QM_STATUS_BAD_HEADER, context);
        return {context.entry + " is damaged: its data ends early", kExitDamaged};
    case QM_E_NEED_PASSWORD:
    case QM_E_BAD_PASSWORD:
        return DescribeFailure(QM_STATUS_BAD_PASSWORD, context);
    case QM_E_CANCELLED:
        return DescribeFailure(QM_STATUS_STOPPED, context);
    case QM_E_NO_MEMORY:
        return DescribeFailure(QM_STATUS_OUT_OF_MEMORY, context);
    case QM_E_IO:
        return {"the archive cannot be read" + SystemReason(systemError), kExitUnreadable};
    default:
        return {"unexpected error " + std::to_string(error) + " of the library", kExitFailure};
    }
}

bool ReaderFailedOnItsOwn(int error)
{
    return error == QM_E_CRC || error == QM_E_DAMAGED || error == QM_E_NEED_PASSWORD ||
           error == QM_E_BAD_PASSWORD;
}

}  // namespace quill
