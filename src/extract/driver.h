// driver.h - the extraction run.
//
// A run takes the entries of the open archive that match a mask list and,
// for each one in archive order: makes sure a data password is held, composes
// the output name, lets the host see and rewrite it, asks before an existing
// file is replaced, opens the output file (making directories), moves the
// data through the stored copy or the stream decoder, checks the CRC-32 and
// gives the finished file its time and attributes.  A CRC mismatch on an
// enciphered entry is taken as a wrong data password: the host is asked again
// and the same entry is extracted anew.  The first failure the run does not
// recover from ends it, with its code in the session's status; an entry that fails
// after its output file was opened leaves no file behind, and files
// extracted before stay.
#pragma once

#include "quillmark.h"

namespace qm {

struct ExportSession;

// Clears the status, builds the matching entries into a list of its own,
// extracts them when the build succeeded and frees the list in every case.
void ExtractFileMaskListHid(ExportSession &session, const FileMaskList *masks);

// Extracts the entries of the list; the outcome is in the session's status.
void ExtractEntries(ExportSession &session, const HidFileList *list);

}  // namespace qm
