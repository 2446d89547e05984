// sbox_circuits - derives the eight DES S-boxes as networks of Boolean gates
// and writes them out as the headers the bitsliced cipher includes.
//
//   sbox_circuits ternary|binary [effort] [lookahead] [seeds] > header
//
// ternary: every gate is any function of three inputs (one vpternlogd each);
// binary:  every gate is AND, OR, XOR or AND-NOT of two inputs (one SSE2 or
//          AVX2 instruction each), and an output that comes out complemented
//          costs one NOT more.
//
// Both kinds are searched as networks of three-input gates (network.h); for
// the binary kind each gate weighs what its smallest two-input circuit costs
// (two_input_circuits.h), and the network is expanded into those circuits at
// the end (binary_expansion.h).  One output is found by a top-down search
// (output_search.h), a whole S-box by combining and improving such searches
// (sbox_builder.h).  Fixed seeds make the output repeatable.  Every network
// is checked against the S-box table before it is written (header_writer.h),
// and the tests check the committed headers again, exhaustively.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "binary_expansion.h"
#include "header_writer.h"
#include "network.h"
#include "sbox_builder.h"

using namespace sboxgen;

int main(int argc, char **argv)
{
    if (argc < 2 || (std::strcmp(argv[1], "ternary") != 0 && std::strcmp(argv[1], "binary") != 0)) {
        std::fprintf(stderr, "usage: sbox_circuits ternary|binary [effort] [lookahead] [seeds]\n");
        return 2;
    }
    const Model model = std::strcmp(argv[1], "ternary") == 0 ? Model::Ternary : Model::Binary;
    const int effort = argc > 2 ? std::atoi(argv[2]) : 30;
    const int lookahead = argc > 3 ? std::atoi(argv[3]) : 1;
    const int seeds = argc > 4 ? std::atoi(argv[4]) : 1;

    Network nets[8];
    BinaryNetwork binary[8];
    int total = 0;
    for (int box = 0; box < 8; ++box) {
        nets[box] = BuildBox(model, box, effort, lookahead, seeds);
        if (!Verify(box, nets[box])) {
            std::fprintf(stderr, "S-box %d: the network failed its check\n", box + 1);
            return 1;
        }
        int cost = static_cast<int>(nets[box].gate.size());
        if (model == Model::Binary) {
            binary[box] = Expand(box, nets[box]);
            if (!VerifyBinary(box, binary[box])) {
                std::fprintf(stderr, "S-box %d: the expanded network failed its check\n", box + 1);
                return 1;
            }
            cost = binary[box].Cost();
        }
        std::fprintf(stderr, "S-box %d: %d\n", box + 1, cost);
        total += cost;
    }
    std::fprintf(stderr, "total %d\n", total);
    PrintHeader(model, effort, lookahead, seeds, total, nets, binary);
    return 0;
}
