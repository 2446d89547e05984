// header_writer.h - writes the S-box networks as the header the bitsliced
// kernels include (des_sboxes_ternary.h or des_sboxes_binary.h) on stdout.
#pragma once

#include "binary_expansion.h"
#include "network.h"

namespace sboxgen {

// The command's arguments are named in the header, so it can be made again.
void PrintHeader(Model model, int effort, int lookahead, int seeds, int total, const Network (&nets)[8],
                 const BinaryNetwork (&binary)[8]);

}  // namespace sboxgen
