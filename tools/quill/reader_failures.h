// reader_failures.h - the words and exit codes of quill's failures for the
// errors of the handle API (quillmark_reader.h).
//
// The same failure reads the same whichever interface met it: each error is
// described as the exports' status of the same meaning would be (see
// failure_messages.h), so "quill t" over the handles and "quill x" over the
// exports name a damaged entry, a wrong password or an unreadable archive
// alike.
#pragma once

#include <string>

#include "quill/failure_messages.h"

namespace quill {

// An error of qm_open_file.  archiveShown: the archive as the system names
// it, asked about when the library could not read it or found no archive.
Failure DescribeReaderOpenFailure(int error, const std::string &archiveShown, FailureContext context);

// An error while walking the entries or reading one (context.entry names
// it, context.phase says which).
Failure DescribeReaderFailure(int error, const FailureContext &context, int systemError);

// True when the error concerns the one entry read (its data is damaged, its
// password is missing or wrong), so the others can still be read.
bool ReaderFailedOnItsOwn(int error);

}  // namespace quill
