// output_search.h - solves one output of an S-box on top of an existing
// network, adding three-input gates.
//
// A target already among the signals costs nothing; a function of one
// signal triple costs one gate.  Otherwise the target is split: f =
// G(a, b, z) for existing signals a and b and a new signal z that only has
// to match f, or its complement, on the cells of (a, b) where f is open, and
// is free elsewhere; or f = a ? z1 : z0 on an input a, both halves new.  A
// split is scored by the weight of its gate and by how close its new targets
// come to one gate (the fewest cells any signal triple leaves both 0 and 1);
// the best few are completed for real on copies of the network (`lookahead`
// levels deep) and the one that weighs least is kept.  Ties go to a seeded
// random choice, so runs differ but repeat.
#pragma once

#include <cstdint>
#include <memory>

#include "network.h"

namespace sboxgen {

class OutputSearch {
public:
    OutputSearch(Model model, std::uint64_t seed, int lookahead);
    ~OutputSearch();

    // Solves output `bit` of S-box `box` on top of `base` into `net`; false
    // when this run gave up (too deep).
    bool SolveOutput(int box, int bit, const Network &base, Network &net);

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace sboxgen
