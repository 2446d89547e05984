// sbox_builder.h - builds the network of a whole S-box from searches of its
// single outputs:
//   1. pools: many randomised solutions of each output on its own (`effort`
//      runs each);
//   2. the combination of one solution per output whose gates, merged where
//      two compute the same function or its complement, weigh least;
//   3. rounds in which each output is solved again on top of the other
//      three's gates, kept when the whole gets lighter.
// All of it from `seeds` independent starts, keeping the lightest: the
// searches are noisy, and more starts of a small effort beat one of a large
// effort.
#pragma once

#include "network.h"

namespace sboxgen {

Network BuildBox(Model model, int box, int effort, int lookahead, int seeds);

}  // namespace sboxgen
