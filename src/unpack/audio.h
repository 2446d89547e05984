// audio.h - the audio mode's per-channel byte predictor.
#pragma once

#include <cstdint>

namespace qm {

// Clears the predictors of all channels (at the start of every stream).
void ResetAudioState();

// Turns one audio symbol (0-255) of Decoder.CurrentChannel into its byte.
std::uint8_t DecodeAudioByte(std::uint32_t symbol);

}  // namespace qm
