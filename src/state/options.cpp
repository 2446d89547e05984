#include "state/options.h"

namespace qm {

std::uint16_t arOptions = QM_OPTIONS_AT_LOAD;

}  // namespace qm
