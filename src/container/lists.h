// lists.h - the entry lists.
//
// BuildHidFileList walks the header blocks of the open session and links the
// entries whose names match a mask list into a HidFileList, the internal
// list the extraction driver also works through.  BuildArcFileList turns such
// a list into the host's ArcFileList and refreshes the statistics.  Records
// and block copies come from the C heap and are released by the matching
// Done function.  Both heads are count, first, last; records are linked in
// archive order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "quillmark.h"

namespace qm {
struct CarrierSession;
}

namespace qm {

void InitHidFileList(HidFileList *list);
void InitArcFileList(ArcFileList *list);

// Sets the head to empty (frees nothing), walks the archive and appends the
// matching entries.  Returns the count; 0 with status 9906 when nothing was
// listed, 5 when the carrier cannot be opened, 8 when memory runs out.
// Never clears the status.  A null mask list counts as the empty list.
// When the session's first header block was lost to damage, a build that
// otherwise went well (or found nothing) ends with 9964: see
// ReportLostFirstBlock.
std::int32_t BuildHidFileList(CarrierSession &session, HidFileList *list, const FileMaskList *masks);

// The walk of BuildHidFileList without that last step.  The extraction runs
// on its list, so that the entries behind a lost first block are still
// extracted, and reports the loss after the run.
std::int32_t WalkHidFileList(CarrierSession &session, HidFileList *list, const FileMaskList *masks);

// Sets 9964 when the session's first header block was lost to damage and
// the status says nothing worse: 0, or 9906 (the lost entry might have
// matched).
void ReportLostFirstBlock(CarrierSession &session);
void DoneHidFileList(HidFileList *list);

// Appends the matching entries to the list and refreshes the statistics;
// does nothing while the status is not 0 after the internal build.
void BuildArcFileList(CarrierSession &session, ArcFileList *list, const FileMaskList *masks);
void DoneArcFileList(ArcFileList *list);

// Copies the 96 words of the session's statistics.
void GetExtraInfoArc(const CarrierSession &session, ArcExtraInfo *info);

}  // namespace qm
