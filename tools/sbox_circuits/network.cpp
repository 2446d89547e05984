// network.cpp - truth tables, gate fitting, and the checks and pruning of
// networks.
#include "network.h"

#include <algorithm>

#include "crypto/des_tables.h"
#include "two_input_circuits.h"

namespace sboxgen {
// The value of a gate: bit (a << 2 | b << 1 | c) of op, as vpternlogd
// computes it.
Truth Ternary(int op, Truth a, Truth b, Truth c)
{
    Truth r = 0;
    for (int v = 0; v < 8; ++v)
        if ((op >> v) & 1)
            r |= ((v & 4) ? a : ~a) & ((v & 2) ? b : ~b) & ((v & 1) ? c : ~c);
    return r;
}

// The eight cells of three signals: the inputs on which they take each of
// their eight value combinations.
void Cells(Truth a, Truth b, Truth c, Truth (&cell)[8])
{
    for (int v = 0; v < 8; ++v)
        cell[v] = ((v & 4) ? a : ~a) & ((v & 2) ? b : ~b) & ((v & 1) ? c : ~c);
}

int Weight(Model model, int op) { return model == Model::Ternary ? 1 : TwoInputCost(op); }

namespace {

int LightestTableSearched(Model model, int ones, int free)
{
    int best = ones, bestWeight = Weight(model, ones);
    for (int extra = free; extra != 0; extra = (extra - 1) & free)
        if (Weight(model, ones | extra) < bestWeight) {
            best = ones | extra;
            bestWeight = Weight(model, best);
        }
    return best;
}

}  // namespace

// For the binary model looked up in a table made once.
int LightestTable(Model model, int ones, int free)
{
    if (model == Model::Ternary)
        return ones;  // every table weighs the same
    static const std::vector<std::uint8_t> lightest = [] {
        std::vector<std::uint8_t> t(256 * 256);
        for (int o = 0; o < 256; ++o)
            for (int f = 0; f < 256; ++f)
                if ((o & f) == 0)
                    t[o * 256 + f] = static_cast<std::uint8_t>(LightestTableSearched(Model::Binary, o, f));
        return t;
    }();
    return lightest[ones * 256 + free];
}

// The gate over (a, b, c) that makes f where it matters, or -1 when f is not
// a function of them there.
int FitGate(Model model, Truth a, Truth b, Truth c, const Target &f)
{
    Truth cell[8];
    Cells(a, b, c, cell);
    int ones = 0, free = 0;
    for (int v = 0; v < 8; ++v) {
        const bool one = cell[v] & f.ones, zero = cell[v] & f.zeros;
        if (one && zero)
            return -1;
        ones |= one ? 1 << v : 0;
        free |= !one && !zero ? 1 << v : 0;
    }
    return LightestTable(model, ones, free);
}

Truth InputTruth(int i)
{
    Truth t = 0;
    for (int x = 0; x < 64; ++x)
        if ((x >> (kInputs - 1 - i)) & 1)
            t |= Truth{1} << x;
    return t;
}

Truth OutputTruth(int box, int bit)
{
    Truth t = 0;
    for (int x = 0; x < 64; ++x)
        if ((qm::des_tables::SBoxOutput(box, x) >> (kOutputs - 1 - bit)) & 1)
            t |= Truth{1} << x;
    return t;
}

Network InputsOnly()
{
    Network n;
    for (int i = 0; i < kInputs; ++i)
        n.signal.push_back(InputTruth(i));
    return n;
}

Truth GateValue(const Gate &g, const std::vector<Truth> &s)
{
    return Ternary(g.op, s[g.in[0]], s[g.in[1]], s[g.in[2]]);
}

// Makes output `bit` exact rather than complemented: the gate that makes it
// is given the complementary table when nothing else uses it, else a NOT is
// added.  (Binary networks settle polarity when they are expanded.)
void MakeOutputExact(Network &net, int bit, Truth want)
{
    const int s = net.out[bit];
    if (net.signal[s] == want)
        return;
    bool usedElsewhere = s < kInputs;
    for (const Gate &g : net.gate)
        for (int k = 0; k < 3; ++k)
            usedElsewhere = usedElsewhere || g.in[k] == s;
    for (int o = 0; o < kOutputs; ++o)
        usedElsewhere = usedElsewhere || (o != bit && net.out[o] == s);
    if (!usedElsewhere) {
        net.gate[s - kInputs].op ^= 0xFF;
        net.signal[s] = ~net.signal[s];
    } else {
        net.gate.push_back({0x0F, {s, s, s}});  // NOT of its first input
        net.signal.push_back(~net.signal[s]);
        net.out[bit] = static_cast<int>(net.signal.size()) - 1;
    }
}

bool Verify(int box, const Network &net)
{
    std::vector<Truth> v(net.signal.begin(), net.signal.begin() + kInputs);
    for (const Gate &g : net.gate)
        v.push_back(GateValue(g, v));
    for (int bit = 0; bit < kOutputs; ++bit) {
        if (net.out[bit] < 0)
            return false;
        const Truth got = v[net.out[bit]];
        if (got != OutputTruth(box, bit) && got != ~OutputTruth(box, bit))
            return false;
    }
    return true;
}

// Keeps the gates that the outputs in `keep` (a bit mask) need, renumbered;
// the other outputs are dropped.
Network Prune(const Network &net, unsigned keep)
{
    const int n = static_cast<int>(net.signal.size());
    std::vector<bool> live(n, false);
    for (int o = 0; o < kOutputs; ++o)
        if (((keep >> o) & 1) && net.out[o] >= 0)
            live[net.out[o]] = true;
    for (int i = n - 1; i >= kInputs; --i)
        if (live[i])
            for (int k = 0; k < 3; ++k)
                live[net.gate[i - kInputs].in[k]] = true;
    std::vector<int> renumber(n, -1);
    Network out = InputsOnly();
    for (int i = 0; i < kInputs; ++i)
        renumber[i] = i;
    for (int i = kInputs; i < n; ++i)
        if (live[i]) {
            Gate g = net.gate[i - kInputs];
            for (int k = 0; k < 3; ++k)
                g.in[k] = renumber[g.in[k]];
            renumber[i] = static_cast<int>(out.signal.size());
            out.gate.push_back(g);
            out.signal.push_back(net.signal[i]);
        }
    for (int o = 0; o < kOutputs; ++o)
        if (((keep >> o) & 1) && net.out[o] >= 0)
            out.out[o] = renumber[net.out[o]];
    return out;
}

// A function and its complement count as one: either gives the other for
// free to the gates that use it.
Truth Canonical(Truth t) { return std::min(t, ~t); }

}  // namespace sboxgen
