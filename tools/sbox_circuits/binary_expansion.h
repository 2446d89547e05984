// binary_expansion.h - a network of three-input gates as one of two-input
// gates: each gate becomes the smallest circuit for its function.
#pragma once

#include <vector>

#include "network.h"

namespace sboxgen {

struct BinaryGate {
    int op, x, y;  // signal numbers, the inputs being 0-5
};

struct BinaryNetwork {
    std::vector<Truth> signal;
    std::vector<BinaryGate> gate;
    int out[kOutputs] = {};
    bool outComplemented[kOutputs] = {};

    int Cost() const
    {
        int c = static_cast<int>(gate.size());
        for (bool n : outComplemented)
            c += n ? 1 : 0;
        return c;
    }
};

// Expands a network of the binary model whose outputs may be complements.
BinaryNetwork Expand(int box, const Network &net);

// Whether every output, complemented where marked, is the S-box's.
bool VerifyBinary(int box, const BinaryNetwork &b);

}  // namespace sboxgen
