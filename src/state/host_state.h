// host_state.h - what the host sets and reads between calls: the status
// word, the option word, the callback registry and the path settings.
//
// A fresh HostState is what a process sees when the library is loaded:
// status 0, options 0x0800, every callback slot empty, every path empty.
#pragma once

#include "state/callbacks.h"
#include "state/options.h"
#include "state/path_settings.h"
#include "state/status.h"

namespace qm {

struct HostState {
    StatusWord status = QM_STATUS_OK;
    std::uint16_t options = QM_OPTIONS_AT_LOAD;
    CallbackRegistry callbacks;
    PathSettings paths;
};

}  // namespace qm
