// binary_expansion.cpp - the expansion into two-input circuits
// (binary_expansion.h).
#include "binary_expansion.h"

#include "two_input_circuits.h"

namespace sboxgen {

// Each three-input gate as its smallest two-input circuit, over the signals
// the circuits before it left, which may be complements.  A gate that only
// makes an output takes the smallest exact circuit when that costs no more
// than a circuit and a NOT.
BinaryNetwork Expand(int box, const Network &net)
{
    BinaryNetwork b;
    for (int i = 0; i < kInputs; ++i)
        b.signal.push_back(InputTruth(i));
    std::vector<int> made(net.signal.size());
    for (int i = 0; i < kInputs; ++i)
        made[i] = i;
    for (std::size_t g = 0; g < net.gate.size(); ++g) {
        const int self = kInputs + static_cast<int>(g);
        const Truth f = net.signal[self];
        const int in[3] = {made[net.gate[g].in[0]], made[net.gate[g].in[1]], made[net.gate[g].in[2]]};
        const int op = FitGate(Model::Binary, b.signal[in[0]], b.signal[in[1]], b.signal[in[2]], {f, ~f});
        bool onlyOutput = false;
        for (int o = 0; o < kOutputs; ++o)
            onlyOutput = onlyOutput || net.out[o] == self;
        const SmallCircuit &circuit =
            onlyOutput && TwoInputExactCost(op) <= TwoInputCost(op) + (TwoInputCircuit(op).complemented ? 1 : 0)
                ? TwoInputExactCircuit(op)
                : TwoInputCircuit(op);
        std::vector<int> local = {in[0], in[1], in[2]};
        for (const SmallGate &sg : circuit.gates) {
            b.gate.push_back({sg.op, local[sg.x], local[sg.y]});
            const Truth x = b.signal[local[sg.x]], y = b.signal[local[sg.y]];
            b.signal.push_back(sg.op == kAnd ? x & y : sg.op == kOr ? x | y : sg.op == kXor ? x ^ y : ~x & y);
            local.push_back(static_cast<int>(b.signal.size()) - 1);
        }
        made[self] = local.back();
    }
    for (int o = 0; o < kOutputs; ++o) {
        b.out[o] = made[net.out[o]];
        b.outComplemented[o] = b.signal[b.out[o]] != OutputTruth(box, o);
    }
    return b;
}

bool VerifyBinary(int box, const BinaryNetwork &b)
{
    std::vector<Truth> v(b.signal.begin(), b.signal.begin() + kInputs);
    for (const BinaryGate &g : b.gate) {
        const Truth x = v[g.x], y = v[g.y];
        v.push_back(g.op == kAnd ? x & y : g.op == kOr ? x | y : g.op == kXor ? x ^ y : ~x & y);
    }
    for (int o = 0; o < kOutputs; ++o)
        if ((b.outComplemented[o] ? ~v[b.out[o]] : v[b.out[o]]) != OutputTruth(box, o))
            return false;
    return true;
}

}  // namespace sboxgen
