#include "state/status.h"

namespace qm {

std::uint16_t ArchiveStatus = QM_STATUS_OK;

}  // namespace qm
