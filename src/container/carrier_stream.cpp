// carrier_stream.cpp - the carrier file while an operation has it open.
#include "container/session.h"

namespace qm {

platform::File *CarrierStream = nullptr;

}  // namespace qm
