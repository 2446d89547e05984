// two_input_circuits.cpp - finds the smallest two-input circuits of the
// functions of three inputs by trying every circuit of up to five gates.
#include "two_input_circuits.h"

#include <array>
#include <cstdio>
#include <cstdlib>

namespace sboxgen {

int ApplyBinary(int op, int x, int y)
{
    switch (op) {
    case kAnd: return x & y;
    case kOr: return x | y;
    case kXor: return x ^ y;
    default: return ~x & y;
    }
}

namespace {

// The smallest circuit of two-input gates for each function of three inputs
// (an 8-bit table over index a << 2 | b << 1 | c), giving it or its
// complement, and the smallest giving it exactly.  The four gate kinds on
// either polarity of their inputs make every two-input function up to its
// complement, so these sizes do not change when an input is complemented.
class TwoInputCircuits {
public:
    static constexpr int kMaxGates = 5;

    TwoInputCircuits()
    {
        any_.fill({});
        exact_.fill({});
        anyCost_.fill(kUnknown);
        exactCost_.fill(kUnknown);
        // Constants and single inputs need no gate.
        for (int f : {0x00, 0xFF, 0xF0, 0x0F, 0xCC, 0x33, 0xAA, 0x55}) {
            anyCost_[f] = 0;
            exactCost_[f] = 0;
        }
        int signal[3 + kMaxGates] = {0xF0, 0xCC, 0xAA};
        std::vector<SmallGate> stack;
        Search(signal, 3, stack);
        // Some functions have no exact circuit at all (NOR: there is no NOT
        // without a constant); every one has a circuit up to its complement.
        for (int f = 0; f < 256; ++f)
            if (anyCost_[f] == kUnknown) {
                std::fprintf(stderr, "no circuit of %d gates for function %02X\n", kMaxGates, f);
                std::exit(1);
            }
    }

    int Cost(int f) const { return anyCost_[f]; }
    // Very large when there is no exact circuit.
    int ExactCost(int f) const { return exactCost_[f]; }
    const SmallCircuit &Any(int f) const { return any_[f]; }
    const SmallCircuit &Exact(int f) const { return exact_[f]; }

private:
    static constexpr int kUnknown = 1 << 20;

    std::array<SmallCircuit, 256> any_, exact_;
    std::array<int, 256> anyCost_, exactCost_;

    // The gates of the stack that the last one needs.
    static std::vector<SmallGate> Needed(const std::vector<SmallGate> &stack)
    {
        std::vector<bool> live(3 + stack.size(), false);
        live[2 + stack.size()] = true;
        for (std::size_t i = stack.size(); i-- > 0;)
            if (live[3 + i]) {
                live[stack[i].x] = true;
                live[stack[i].y] = true;
            }
        std::vector<int> renumber(3 + stack.size());
        for (int i = 0; i < 3; ++i)
            renumber[i] = i;
        std::vector<SmallGate> out;
        for (std::size_t i = 0; i < stack.size(); ++i)
            if (live[3 + i]) {
                renumber[3 + i] = static_cast<int>(3 + out.size());
                out.push_back({stack[i].op, renumber[stack[i].x], renumber[stack[i].y]});
            }
        return out;
    }

    void Search(int *signal, int count, std::vector<SmallGate> &stack)
    {
        if (stack.size() == kMaxGates)
            return;
        const int depth = static_cast<int>(stack.size()) + 1;
        for (int x = 0; x < count; ++x)
            for (int y = 0; y < count; ++y) {
                if (x == y)
                    continue;
                for (int op = 0; op < 4; ++op) {
                    if (op != kAndNot && y < x)
                        continue;  // symmetric: one order is enough
                    const int v = ApplyBinary(op, signal[x], signal[y]) & 0xFF;
                    bool known = false;
                    for (int i = 0; i < count && !known; ++i)
                        known = signal[i] == v || signal[i] == (~v & 0xFF);
                    if (known || v == 0 || v == 0xFF)
                        continue;
                    stack.push_back({op, x, y});
                    const int inverse = ~v & 0xFF;
                    if (depth < anyCost_[v] || depth < anyCost_[inverse]) {
                        const std::vector<SmallGate> needed = Needed(stack);
                        if (depth < anyCost_[v]) {
                            anyCost_[v] = depth;
                            any_[v] = {needed, false};
                        }
                        if (depth < anyCost_[inverse]) {
                            anyCost_[inverse] = depth;
                            any_[inverse] = {needed, true};
                        }
                    }
                    if (depth < exactCost_[v]) {
                        exactCost_[v] = depth;
                        exact_[v] = {Needed(stack), false};
                    }
                    signal[count] = v;
                    Search(signal, count + 1, stack);
                    stack.pop_back();
                }
            }
    }
};

const TwoInputCircuits &Circuits()
{
    static const TwoInputCircuits circuits;
    return circuits;
}

}  // namespace

int TwoInputCost(int f) { return Circuits().Cost(f); }
int TwoInputExactCost(int f) { return Circuits().ExactCost(f); }
const SmallCircuit &TwoInputCircuit(int f) { return Circuits().Any(f); }
const SmallCircuit &TwoInputExactCircuit(int f) { return Circuits().Exact(f); }

}  // namespace sboxgen
