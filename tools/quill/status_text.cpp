// status_text.cpp - messages for the library's status codes.
#include "quill/status_text.h"

#include "quillmark.h"

namespace quill {

std::string StatusText(uint16_t status)
{
    switch (status) {
    case QM_STATUS_OK:
        return "no error";
    case QM_STATUS_NO_CARRIER:
        return "the archive file does not exist";
    case QM_STATUS_CANNOT_OPEN:
        return "a file could not be opened: the archive, an output file or its directory "
               "could not be opened or created, or an extracted file could not be given its time";
    case QM_STATUS_OUT_OF_MEMORY:
        return "out of memory";
    case QM_STATUS_WRITE_FAILED:
        return "an output file could not be written in full (is the disk full?)";
    case QM_STATUS_STOPPED:
        return "the run was stopped";
    case QM_STATUS_EMPTY_LIST:
        return "no entries: none could be read from the archive, or none matches the masks";
    case QM_STATUS_BAD_PASSWORD:
        return "a password is needed, or the one given is wrong (give it with -p)";
    case QM_STATUS_CRC_MISMATCH:
        return "CRC error: an extracted file does not match its checksum (the archive is damaged)";
    case QM_STATUS_BAD_HEADER:
        return "the archive is damaged: a header block is not valid";
    case QM_STATUS_NO_SIGNATURE:
        return "no archive was found in the file";
    case QM_STATUS_NOT_SUPPORTED:
        return "the operation is not supported";
    default:
        return "unknown status " + std::to_string(status);
    }
}

}  // namespace quill
