// exports_mutator.cpp - libFuzzer's mutation, then the header CRCs mended.
//
// Without the mending nearly every mutation of a header block breaks its CRC
// and the library stops there.  One mutation in sixteen is left as it is, so
// broken CRCs and signature records still get their share.
#include <cstddef>
#include <cstdint>

#include "carrier_repair.h"
#include "exports_controls.h"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t *data, std::size_t size, std::size_t maxSize);

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t *data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed)
{
    size = LLVMFuzzerMutate(data, size, maxSize);
    if (seed % 16 != 0 && size >= 8) {
        const bool forced = (data[0] & qmfuzz::kOpenHid) && (data[0] & qmfuzz::kForceEnciphered);
        qmfuzz::RepairCarrier(data, size, qmfuzz::kRightPassword, forced);
    }
    return size;
}
