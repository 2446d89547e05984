// unpack.h - the exports' stream decoder.
//
// The exports extract one entry at a time; their decoder is one
// StreamDecoder (stream_decoder.h) whose parts keep the names below.  Its
// source is the extraction pipeline's reader, and UnpackStream
// (extract/pipeline.h) runs it for an entry.  All of it is defined in
// extract/legacy_decoder.cpp.
#pragma once

#include <cstdint>

#include "unpack/huffman.h"
#include "unpack/stream_decoder.h"
#include "unpack/tables.h"

namespace qm {

StreamDecoder &ExportsDecoder();

extern DecoderState &Decoder;

void ResetUnpackState();
void ReadCodeTables();
void FlushWindow();
void CheckFinalTables();

}  // namespace qm
