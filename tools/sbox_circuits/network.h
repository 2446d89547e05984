// network.h - networks of three-input gates over the six inputs of an
// S-box, and what the search needs to build and check them.
//
// Over all 64 inputs at once, each signal is a 64-bit truth table: bit x is
// its value for the S-box input x, the first input bit being bit 5 of x.
// Signals 0-5 are the inputs, then one per gate.  Both kinds of network are
// built from three-input gates; for the binary kind a gate weighs what its
// smallest two-input circuit costs (two_input_circuits.h).
#pragma once

#include <cstdint>
#include <vector>

namespace sboxgen {

using Truth = std::uint64_t;

constexpr int kInputs = 6;
constexpr int kOutputs = 4;

// ternary: gates of any three-input function (one vpternlogd each);
// binary:  two-input AND, OR, XOR and AND-NOT gates.
enum class Model { Ternary, Binary };

struct Gate {
    int op;     // the 8-bit truth table over index a << 2 | b << 1 | c
    int in[3];  // signal numbers
};

// What a target must be: 1 on `ones`, 0 on `zeros`, anything elsewhere.
struct Target {
    Truth ones, zeros;
};

// The value of a gate: bit (a << 2 | b << 1 | c) of op, as vpternlogd
// computes it.
Truth Ternary(int op, Truth a, Truth b, Truth c);

// The eight cells of three signals: the inputs on which they take each of
// their eight value combinations.
void Cells(Truth a, Truth b, Truth c, Truth (&cell)[8]);

// What a gate of this table weighs in the model.
int Weight(Model model, int op);

// The lightest table that is 1 on the cells in `ones`, 0 on the other cells
// that matter, and anything on the cells in `free`.
int LightestTable(Model model, int ones, int free);

// The lightest gate over (a, b, c) that makes f where it matters, or -1 when
// f is not a function of them there.
int FitGate(Model model, Truth a, Truth b, Truth c, const Target &f);

struct Network {
    std::vector<Truth> signal;  // the inputs, then one per gate
    std::vector<Gate> gate;
    int out[kOutputs] = {-1, -1, -1, -1};  // -1: not built

    // The weights of the gates together.
    int Cost(Model model) const
    {
        int c = 0;
        for (const Gate &g : gate)
            c += Weight(model, g.op);
        return c;
    }
};

// Input i (0 the first) and output bit `bit` (0 the most significant) of
// S-box `box` as truth tables.
Truth InputTruth(int i);
Truth OutputTruth(int box, int bit);

// A network of the six inputs and nothing else.
Network InputsOnly();

Truth GateValue(const Gate &g, const std::vector<Truth> &s);

// Makes output `bit` exact rather than complemented: the gate that makes it
// is given the complementary table when nothing else uses it, else a NOT is
// added.  (Binary networks settle polarity when they are expanded.)
void MakeOutputExact(Network &net, int bit, Truth want);

// Whether every output is the S-box's, or its complement.
bool Verify(int box, const Network &net);

// Keeps the gates that the outputs in `keep` (a bit mask) need, renumbered;
// the other outputs are dropped.
Network Prune(const Network &net, unsigned keep = 0xF);

// A function and its complement count as one: either gives the other for
// free to the gates that use it.
Truth Canonical(Truth t);

}  // namespace sboxgen
