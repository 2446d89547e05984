// two_input_circuits.h - the smallest circuits of two-input gates (AND, OR,
// XOR, AND-NOT) for every Boolean function of three inputs: what a
// three-input gate of a binary network costs, and what it expands into.
#pragma once

#include <vector>

namespace sboxgen {

// AndNot(x, y) is ~x & y, like the instructions.
enum BinaryOp { kAnd, kOr, kXor, kAndNot };

int ApplyBinary(int op, int x, int y);

// Inputs are numbered 0, 1, 2 (the three-input gate's a, b, c), gates 3 on.
struct SmallGate {
    int op, x, y;
};

struct SmallCircuit {
    std::vector<SmallGate> gates;
    bool complemented = false;  // the last gate gives the complement
};

// For a function f of three inputs (an 8-bit table over index
// a << 2 | b << 1 | c): the smallest circuit giving f or its complement,
// and the smallest giving f exactly (very large cost when none does: there
// is no NOT without a constant).  Found once, exhaustively, at the first
// call.
int TwoInputCost(int f);
int TwoInputExactCost(int f);
const SmallCircuit &TwoInputCircuit(int f);
const SmallCircuit &TwoInputExactCircuit(int f);

}  // namespace sboxgen
