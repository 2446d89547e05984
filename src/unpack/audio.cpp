// audio.cpp - placeholder for the audio predictor.
//
// Until the predictor is written, audio symbols decode to their negated value
// (what a fresh predictor gives for the first byte of a channel only), so an
// entry that uses audio mode decodes to wrong bytes and fails its CRC check.
#include "unpack/audio.h"

namespace qm {

void ResetAudioState() {}

std::uint8_t DecodeAudioByte(std::uint32_t symbol)
{
    return static_cast<std::uint8_t>(0u - symbol);
}

}  // namespace qm
