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
// An S-box has six inputs and four outputs; over all 64 inputs at once, each
// signal of a network is a 64-bit truth table (bit x is its value for the
// input x, the S-box's first input bit being bit 5 of x).
//
// Both kinds are searched as networks of three-input gates.  For the binary
// kind each such gate weighs what its smallest circuit of two-input gates
// costs (found once, exhaustively, for all 256 functions of three inputs),
// and the network is expanded into those circuits at the end.
//
// One output is solved top down.  A target already among the signals costs
// nothing; a function of one signal triple costs one gate.  Otherwise the
// target is split: f = G(a, b, z) for existing signals a and b and a new
// signal z that only has to match f, or its complement, on the cells of
// (a, b) where f is open, and is free elsewhere; or f = a ? z1 : z0 on an
// input a, both halves new.  A split is scored by the weight of its gate and
// by how close its new targets come to one gate; the best few are completed
// for real on copies of the network (lookahead levels deep) and the one that
// weighs least is kept.
//
// An S-box is then built in three steps:
//   1. pools: many randomised solutions of each output on its own;
//   2. the combination of one solution per output whose gates, merged where
//      two compute the same function or its complement, weigh least;
//   3. rounds in which each output is solved again on top of the other
//      three's gates, kept when the whole gets lighter.
// A fixed seed makes the output repeatable.  Every network is checked against
// the S-box table before it is written, and the tests check the committed
// headers again, exhaustively.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "crypto/des_tables.h"

namespace {

using Truth = std::uint64_t;

constexpr int kInputs = 6;
constexpr int kOutputs = 4;

enum class Model { Ternary, Binary };

// ---- two-input circuits for the functions of three inputs -------------------

// AndNot(x, y) is ~x & y, like the instructions.
enum BinaryOp { kAnd, kOr, kXor, kAndNot };

int ApplyBinary(int op, int x, int y)
{
    switch (op) {
    case kAnd: return x & y;
    case kOr: return x | y;
    case kXor: return x ^ y;
    default: return ~x & y;
    }
}

// Inputs are numbered 0, 1, 2 (the three-input gate's a, b, c), gates 3 on.
struct SmallGate {
    int op, x, y;
};

struct SmallCircuit {
    std::vector<SmallGate> gates;
    bool complemented = false;  // the last gate gives the complement
};

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

// ---- networks of three-input gates --------------------------------------------

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

int Weight(Model model, int op) { return model == Model::Ternary ? 1 : Circuits().Cost(op); }

// The lightest table that is 1 on the cells in `ones`, 0 on the other cells
// that matter, and anything on the cells in `free`; for the binary model
// looked up in a table made once.
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

struct Network {
    std::vector<Truth> signal;  // the inputs, then one per gate
    std::vector<Gate> gate;
    int out[kOutputs] = {-1, -1, -1, -1};  // -1: not built

    int Cost(Model model) const
    {
        int c = 0;
        for (const Gate &g : gate)
            c += Weight(model, g.op);
        return c;
    }
};

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

Truth GateValue(const Gate &g, const std::vector<Truth> &s) { return Ternary(g.op, s[g.in[0]], s[g.in[1]], s[g.in[2]]); }

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

class Search {
public:
    Search(Model model, std::uint64_t seed, int lookahead) : model_(model), lookahead_(lookahead), rng_(seed) {}

    // Solves output `bit` of S-box `box` on top of `base`; false when this
    // run gave up (too deep).
    bool SolveOutput(int box, int bit, const Network &base, Network &net)
    {
        net_ = base;
        const Truth want = OutputTruth(box, bit);
        const int s = Solve({want, ~want}, kMaxDepth, lookahead_);
        if (s < 0)
            return false;
        net_.out[bit] = s;
        if (model_ == Model::Ternary)
            MakeOutputExact(net_, bit, want);
        net = net_;
        return true;
    }

private:
    // Past this depth only splits on inputs are tried, which always end.
    static constexpr int kMaxDepth = 24;
    static constexpr int kInputSplitsOnly = 6;

    // Splits tried for real at a level with lookahead, and how much worse
    // than the best estimate a split may look and still be tried.
    static constexpr std::size_t kTrials = 6;
    static constexpr int kSlack = 1;

    Model model_;
    int lookahead_;
    std::mt19937_64 rng_;
    Network net_;

    int Count() const { return static_cast<int>(net_.signal.size()); }

    static bool Fits(Truth s, const Target &t) { return (s & t.zeros) == 0 && (t.ones & ~s) == 0; }

    int Existing(const Target &t) const
    {
        for (int i = 0; i < Count(); ++i)
            if (Fits(net_.signal[i], t) || Fits(~net_.signal[i], t))
                return i;
        return -1;
    }

    int Add(const Gate &g)
    {
        net_.signal.push_back(GateValue(g, net_.signal));
        net_.gate.push_back(g);
        return Count() - 1;
    }

    // ---- one gate ------------------------------------------------------------

    // The number of cells on which the target is both 0 and 1: zero when one
    // gate over the signals fits, and a measure of how far off it is
    // otherwise.
    static int Conflicts(const Truth *cells, int n, const Target &t, int stopAt)
    {
        int c = 0;
        for (int i = 0; i < n && c < stopAt; ++i)
            if ((cells[i] & t.ones) && (cells[i] & t.zeros))
                ++c;
        return c;
    }

    // The fewest conflicts over all triples of signals, stopping early below
    // `stopAt`.
    int Distance(const Target &t, int stopAt) const
    {
        int best = stopAt;
        const auto &s = net_.signal;
        const int n = Count();
        for (int a = 0; a < n && best > 0; ++a)
            for (int b = a + 1; b < n && best > 0; ++b) {
                const Truth pair[4] = {~s[a] & ~s[b], ~s[a] & s[b], s[a] & ~s[b], s[a] & s[b]};
                // A triple has at least the pair's conflicts.
                if (Conflicts(pair, 4, t, best) >= best)
                    continue;
                for (int c = b + 1; c < n && best > 0; ++c) {
                    Truth cells[8];
                    for (int u = 0; u < 4; ++u) {
                        cells[2 * u] = pair[u] & ~s[c];
                        cells[2 * u + 1] = pair[u] & s[c];
                    }
                    best = std::min(best, Conflicts(cells, 8, t, best));
                }
            }
        return best;
    }

    // Adds the lightest gate over existing signals that fits the target (one
    // at random among equals); -1 when none does.
    int OneGate(const Target &t)
    {
        const auto &s = net_.signal;
        const int n = Count();
        std::vector<Gate> found;
        int lightest = 1 << 20;
        for (int a = 0; a < n; ++a)
            for (int b = a + 1; b < n; ++b)
                for (int c = b + 1; c < n; ++c) {
                    const int op = FitGate(model_, s[a], s[b], s[c], t);
                    if (op < 0)
                        continue;
                    const int w = Weight(model_, op);
                    if (w < lightest) {
                        lightest = w;
                        found.clear();
                    }
                    if (w == lightest)
                        found.push_back({op, {a, b, c}});
                }
        if (found.empty())
            return -1;
        return Add(found[rng_() % found.size()]);
    }

    // ---- splits --------------------------------------------------------------

    // A guess at what a target weighs, from its distance to one gate: a
    // three-input gate is about two two-input gates.
    int Estimate(int distance) const { return (model_ == Model::Binary ? 2 : 1) * (1 + distance); }

    struct Split {
        int kind;  // 0: f = G(a, b, z); 1: f = a ? z1 : z0
        int a, b;
        Target z, z1;  // for kind 1, z is the a = 0 half and z1 the a = 1 half
        int score;
    };

    // Splits over the cells of signals a and b: on a cell where f is constant
    // the new signal is free; on the others it follows f, or its complement,
    // cell by cell.  Keeping every cell's polarity the same where every cell
    // is open would only rename f.
    void CellSplits(const Target &t, int a, int b, int own, int slack, std::vector<Split> &out, int &best)
    {
        const auto &s = net_.signal;
        Truth cell[4];
        for (int u = 0; u < 4; ++u)
            cell[u] = ((u & 2) ? s[a] : ~s[a]) & ((u & 1) ? s[b] : ~s[b]);
        int open[4], nOpen = 0;
        for (int u = 0; u < 4; ++u)
            if ((cell[u] & t.ones) && (cell[u] & t.zeros))
                open[nOpen++] = u;
        if (nOpen == 0)
            return;
        for (int pattern = 0; pattern < 1 << (nOpen - 1); ++pattern) {
            if (pattern == 0 && nOpen == 4)
                continue;
            // The new target, and the gate's table over (a, b, z).
            Target z{0, 0};
            int ones = 0, free = 0;
            for (int u = 0, k = 0; u < 4; ++u) {
                const bool isOpen = k < nOpen && open[k] == u;
                const bool flip = isOpen && k > 0 && ((pattern >> (k - 1)) & 1);
                if (isOpen) {
                    z.ones |= cell[u] & (flip ? t.zeros : t.ones);
                    z.zeros |= cell[u] & (flip ? t.ones : t.zeros);
                    ones |= (flip ? 1 : 2) << (2 * u);  // z = 0 gives flip, z = 1 gives !flip
                    ++k;
                } else if (cell[u] & t.ones) {
                    ones |= 3 << (2 * u);
                } else if (!(cell[u] & t.zeros)) {
                    free |= 3 << (2 * u);
                }
            }
            const int gateWeight = Weight(model_, LightestTable(model_, ones, free));
            const bool smaller = (z.ones | z.zeros) != (t.ones | t.zeros);
            // Only distances whose score can come within the slack of the
            // best count.
            const int unit = Estimate(1) - Estimate(0);
            const int reach = (best + slack - gateWeight - Estimate(0)) / unit + 1;
            const int limit = std::min(reach, smaller ? 1 << 20 : own);
            if (limit <= 0)
                continue;
            const int d = Distance(z, limit);
            if (d >= limit)
                continue;
            const int score = gateWeight + Estimate(d);
            best = std::min(best, score);
            out.push_back({0, a, b, z, {}, score});
        }
    }

    int Solve(const Target &t, int depth, int lookahead)
    {
        if (const int s = Existing(t); s >= 0)
            return s;
        if (const int s = OneGate(t); s >= 0)
            return s;
        if (depth == 0)
            return -1;

        // A split must bring its new target closer to one gate than f is,
        // or leave it fewer cells to match; else it would only rename f.
        // With lookahead, splits up to kSlack worse than the best estimate
        // stay candidates, for the trials below.
        const int slack = lookahead > 0 ? kSlack : 0;
        const int own = Distance(t, 1 << 20);
        std::vector<Split> splits;
        int best = 1 << 20;
        const int n = depth > kInputSplitsOnly ? Count() : 0;
        for (int a = 0; a < n; ++a)
            for (int b = a + 1; b < n; ++b)
                CellSplits(t, a, b, own, slack, splits, best);
        // Both halves new, split on an input.
        const int muxWeight = Weight(model_, 0xAC);  // a ? c : b
        for (int a = 0; a < kInputs; ++a) {
            const Truth s = net_.signal[a];
            const Target z0{t.ones & ~s, t.zeros & ~s}, z1{t.ones & s, t.zeros & s};
            if (!(z0.ones | z0.zeros) || !(z1.ones | z1.zeros))
                continue;  // f does not look at this input
            const int score = muxWeight + Estimate(Distance(z0, 1 << 20)) + Estimate(Distance(z1, 1 << 20));
            best = std::min(best, score);
            if (score <= best + slack)
                splits.push_back({1, a, -1, z0, z1, score});
        }
        std::erase_if(splits, [&](const Split &sp) { return sp.score > best + slack; });
        if (splits.empty())
            return -1;
        std::shuffle(splits.begin(), splits.end(), rng_);
        if (lookahead == 0)
            for (const Split &sp : splits)
                if (sp.score == best)
                    return Apply(t, sp, depth, 0);

        // Lookahead: complete the most promising splits for real, each on a
        // copy of the network, and keep the one that weighs least.
        std::stable_sort(splits.begin(), splits.end(),
                         [](const Split &x, const Split &y) { return x.score < y.score; });
        if (splits.size() > kTrials)
            splits.resize(kTrials);
        const Network start = net_;
        Network bestNet;
        int bestSignal = -1, bestCost = 1 << 20;
        for (const Split &sp : splits) {
            net_ = start;
            const int signal = Apply(t, sp, depth, lookahead - 1);
            const int cost = net_.Cost(model_);
            if (signal >= 0 && cost < bestCost) {
                bestCost = cost;
                bestSignal = signal;
                bestNet = net_;
            }
        }
        net_ = bestSignal >= 0 ? bestNet : start;
        return bestSignal;
    }

    int Apply(const Target &t, const Split &sp, int depth, int lookahead)
    {
        const int z = Solve(sp.z, depth - 1, lookahead);
        if (z < 0)
            return -1;
        if (sp.kind == 0)
            return Add({FitGate(model_, net_.signal[sp.a], net_.signal[sp.b], net_.signal[z], t), {sp.a, sp.b, z}});
        const int z1 = Solve(sp.z1, depth - 1, lookahead);
        if (z1 < 0)
            return -1;
        return Add({FitGate(model_, net_.signal[sp.a], net_.signal[z], net_.signal[z1], t), {sp.a, z, z1}});
    }
};

// ---- whole S-boxes --------------------------------------------------------------

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
Network Prune(const Network &net, unsigned keep = 0xF)
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

// The gates of several networks, each giving some of the outputs, as one
// network in which every function (up to its complement) is made once.
Network Merge(Model model, int box, const std::vector<const Network *> &parts)
{
    Network net = InputsOnly();
    std::unordered_map<Truth, int> made;
    for (int i = 0; i < kInputs; ++i)
        made[Canonical(net.signal[i])] = i;
    for (const Network *part : parts) {
        std::vector<int> map(part->signal.size());
        for (int i = 0; i < kInputs; ++i)
            map[i] = i;
        for (std::size_t g = 0; g < part->gate.size(); ++g) {
            const int self = kInputs + static_cast<int>(g);
            const Truth f = part->signal[self];
            if (const auto it = made.find(Canonical(f)); it != made.end()) {
                map[self] = it->second;
                continue;
            }
            // The same function over the merged network's signals, which
            // may be the complements of the part's.
            Gate gate = part->gate[g];
            for (int k = 0; k < 3; ++k)
                gate.in[k] = map[gate.in[k]];
            const auto &s = net.signal;
            gate.op = FitGate(model, s[gate.in[0]], s[gate.in[1]], s[gate.in[2]], {f, ~f});
            net.signal.push_back(GateValue(gate, net.signal));
            net.gate.push_back(gate);
            map[self] = static_cast<int>(net.signal.size()) - 1;
            made[Canonical(f)] = map[self];
        }
        for (int o = 0; o < kOutputs; ++o)
            if (part->out[o] >= 0 && net.out[o] < 0)
                net.out[o] = map[part->out[o]];
    }
    if (model == Model::Ternary)
        for (int o = 0; o < kOutputs; ++o)
            MakeOutputExact(net, o, OutputTruth(box, o));
    return net;
}

// The distinct functions of a network's gates with their weights, sorted.
using Weighed = std::vector<std::pair<Truth, int>>;

Weighed GateFunctions(Model model, const Network &net)
{
    Weighed f;
    for (std::size_t i = 0; i < net.gate.size(); ++i)
        f.push_back({Canonical(net.signal[kInputs + i]), Weight(model, net.gate[i].op)});
    std::sort(f.begin(), f.end());
    f.erase(std::unique(f.begin(), f.end(), [](const auto &x, const auto &y) { return x.first == y.first; }),
            f.end());
    return f;
}

// Step 1: up to kPoolSize distinct solutions of each output on its own,
// the lightest first.
constexpr std::size_t kPoolSize = 16;

std::vector<Network> Pool(Model model, Search &search, int box, int bit, int runs)
{
    std::vector<Network> pool;
    std::vector<Weighed> seen;
    for (int r = 0; r < runs; ++r) {
        Network net;
        if (!search.SolveOutput(box, bit, InputsOnly(), net))
            continue;
        net = Prune(net, 1u << bit);
        Weighed f = GateFunctions(model, net);
        if (std::find(seen.begin(), seen.end(), f) != seen.end())
            continue;
        seen.push_back(f);
        pool.push_back(net);
    }
    std::stable_sort(pool.begin(), pool.end(),
                     [&](const Network &a, const Network &b) { return a.Cost(model) < b.Cost(model); });
    if (pool.size() > kPoolSize)
        pool.resize(kPoolSize);
    return pool;
}

// Step 2: the combination whose merged gates weigh least.
Network BestCombination(Model model, int box, const std::vector<Network> (&pools)[kOutputs])
{
    std::vector<Weighed> functions[kOutputs];
    for (int o = 0; o < kOutputs; ++o)
        for (const Network &n : pools[o])
            functions[o].push_back(GateFunctions(model, n));
    int bestWeight = 1 << 20;
    std::size_t best[kOutputs] = {};
    Weighed all;
    for (std::size_t i0 = 0; i0 < pools[0].size(); ++i0)
        for (std::size_t i1 = 0; i1 < pools[1].size(); ++i1)
            for (std::size_t i2 = 0; i2 < pools[2].size(); ++i2)
                for (std::size_t i3 = 0; i3 < pools[3].size(); ++i3) {
                    all.clear();
                    for (const auto *f : {&functions[0][i0], &functions[1][i1], &functions[2][i2], &functions[3][i3]})
                        all.insert(all.end(), f->begin(), f->end());
                    std::sort(all.begin(), all.end());
                    int weight = 0;
                    for (std::size_t k = 0; k < all.size(); ++k)
                        if (k == 0 || all[k].first != all[k - 1].first)
                            weight += all[k].second;
                    if (weight < bestWeight) {
                        bestWeight = weight;
                        best[0] = i0, best[1] = i1, best[2] = i2, best[3] = i3;
                    }
                }
    return Merge(model, box, {&pools[0][best[0]], &pools[1][best[1]], &pools[2][best[2]], &pools[3][best[3]]});
}

// Step 3: each output solved again on top of the other three's gates.
Network Reoptimize(Model model, Search &search, int box, Network net, int runs)
{
    for (bool improved = true; improved;) {
        improved = false;
        for (int bit = 0; bit < kOutputs; ++bit) {
            const Network base = Prune(net, 0xFu & ~(1u << bit));
            for (int r = 0; r < runs; ++r) {
                Network candidate;
                if (!search.SolveOutput(box, bit, base, candidate))
                    continue;
                candidate = Prune(candidate);
                if (candidate.Cost(model) < net.Cost(model)) {
                    net = candidate;
                    improved = true;
                }
            }
        }
    }
    return net;
}

// The three steps from `seeds` independent starts; the lightest result.
// (The searches are noisy: more starts of a small effort beat one of a large
// effort.)
Network BuildBox(Model model, int box, int effort, int lookahead, int seeds)
{
    Network best;
    for (int seed = 0; seed < seeds; ++seed) {
        Search search(model, 0x5EED0000u + 16u * static_cast<unsigned>(seed) + static_cast<unsigned>(box), lookahead);
        std::vector<Network> pools[kOutputs];
        for (int bit = 0; bit < kOutputs; ++bit)
            pools[bit] = Pool(model, search, box, bit, effort);
        const Network combined = BestCombination(model, box, pools);
        const Network net = Reoptimize(model, search, box, combined, std::max(1, effort / 4));
        if (seed == 0 || net.Cost(model) < best.Cost(model))
            best = net;
    }
    return best;
}

// ---- the binary expansion --------------------------------------------------------

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
        const auto &c = Circuits();
        const SmallCircuit &circuit =
            onlyOutput && c.ExactCost(op) <= c.Cost(op) + (c.Any(op).complemented ? 1 : 0) ? c.Exact(op) : c.Any(op);
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

// ---- the header -------------------------------------------------------------------

std::string Name(int signal)
{
    if (signal < kInputs)
        return "a" + std::to_string(signal + 1);
    return "t" + std::to_string(signal - kInputs);
}

void PrintSignature(int box)
{
    std::printf("template <class Ops, class Word>\n"
                "QM_DES_TARGET QM_DES_INLINE void SBox%d(Word a1, Word a2, Word a3, Word a4, Word a5, Word a6, "
                "Word &y1, Word &y2,\n"
                "                                       Word &y3, Word &y4)\n{\n",
                box + 1);
}

// The same gate with its inputs in another order: input k of the result is
// input order[k] of g.
Gate Reordered(const Gate &g, const int (&order)[3])
{
    Gate r{0, {g.in[order[0]], g.in[order[1]], g.in[order[2]]}};
    for (int v = 0; v < 8; ++v) {
        int old = 0;
        for (int k = 0; k < 3; ++k)
            old |= ((v >> (2 - k)) & 1) << (2 - order[k]);
        r.op |= ((g.op >> old) & 1) << v;
    }
    return r;
}

// vpternlogd writes over its first input: a gate whose first input is still
// needed afterwards costs the compiler a copy.  So an input that is used
// for the last time (and is no output) goes first.
Network WithDyingFirstInputs(const Network &net)
{
    Network out = net;
    std::vector<std::size_t> lastUse(net.signal.size(), 0);
    for (std::size_t i = 0; i < net.gate.size(); ++i)
        for (int k = 0; k < 3; ++k)
            lastUse[net.gate[i].in[k]] = i;
    for (int o = 0; o < kOutputs; ++o)
        lastUse[net.out[o]] = net.gate.size();
    for (std::size_t i = 0; i < net.gate.size(); ++i)
        for (int k = 1; k < 3; ++k)
            if (lastUse[out.gate[i].in[0]] != i && lastUse[out.gate[i].in[k]] == i) {
                const int order[3] = {k, k == 1 ? 0 : 1, k == 2 ? 0 : 2};
                out.gate[i] = Reordered(out.gate[i], order);
                break;
            }
    return out;
}

void PrintTernaryBox(int box, const Network &original)
{
    const Network net = WithDyingFirstInputs(original);
    std::printf("\n// S-box %d: %zu gates.\n", box + 1, net.gate.size());
    PrintSignature(box);
    for (std::size_t i = 0; i < net.gate.size(); ++i) {
        const Gate &g = net.gate[i];
        std::printf("    const Word %s = Ops::template Ternary<0x%02X>(%s, %s, %s);\n",
                    Name(kInputs + static_cast<int>(i)).c_str(), g.op, Name(g.in[0]).c_str(),
                    Name(g.in[1]).c_str(), Name(g.in[2]).c_str());
    }
    for (int o = 0; o < kOutputs; ++o)
        std::printf("    y%d = %s;\n", o + 1, Name(net.out[o]).c_str());
    std::printf("}\n");
}

void PrintBinaryBox(int box, const BinaryNetwork &b)
{
    std::printf("\n// S-box %d: %d gates.\n", box + 1, b.Cost());
    PrintSignature(box);
    static const char *kName[] = {"And", "Or", "Xor", "AndNot"};
    for (std::size_t i = 0; i < b.gate.size(); ++i)
        std::printf("    const Word %s = Ops::%s(%s, %s);\n", Name(kInputs + static_cast<int>(i)).c_str(),
                    kName[b.gate[i].op], Name(b.gate[i].x).c_str(), Name(b.gate[i].y).c_str());
    for (int o = 0; o < kOutputs; ++o)
        std::printf(b.outComplemented[o] ? "    y%d = Ops::Not(%s);\n" : "    y%d = %s;\n", o + 1,
                    Name(b.out[o]).c_str());
    std::printf("}\n");
}

void PrintHeader(Model model, int effort, int lookahead, int seeds, int total, const Network (&nets)[8],
                 const BinaryNetwork (&binary)[8])
{
    const bool ternary = model == Model::Ternary;
    const char *kind = ternary ? "ternary" : "binary";
    std::printf("// des_sboxes_%s.h - the eight DES S-boxes as networks of %s gates,\n", kind,
                ternary ? "three-input" : "two-input");
    if (ternary)
        std::printf("// for processors that evaluate any three-input function of whole words in\n"
                    "// one instruction (vpternlogd).\n");
    else
        std::printf("// AND, OR, XOR and AND-NOT, one SSE2 or AVX2 instruction each.\n");
    std::printf("//\n"
                "// Generated by tools/sbox_circuits (`sbox_circuits %s %d %d %d`); do not edit:\n"
                "// change the generator and run it again.  The tests check every network\n"
                "// against the S-box table on all 64 inputs.\n"
                "//\n"
                "// SBoxN takes the six input bits a1..a6 of S-box N (a1 the first, as the\n"
                "// expansion delivers them) as whole words, one bit of many blocks each, and\n"
                "// gives its four output bits y1..y4 (y1 the most significant).  Ops supplies\n"
                "// the gates on words:\n",
                kind, effort, lookahead, seeds);
    if (ternary)
        std::printf("// Ops::Ternary<T>(a, b, c) is bit (a << 2 | b << 1 | c) of T in every bit\n"
                    "// position.\n");
    else
        std::printf("// Ops::And, Ops::Or, Ops::Xor, Ops::AndNot(a, b) = ~a & b, and Ops::Not.\n");
    std::printf("//\n"
                "// %d gates in all.  Included by the bitsliced kernels and the tests, each\n"
                "// after defining QM_DES_TARGET (its instruction set) and QM_DES_INLINE; every\n"
                "// includer gets its own copy.\n"
                "#pragma once\n\n"
                "namespace qm {\nnamespace {\nnamespace %s_sboxes {\n",
                total, kind);
    for (int box = 0; box < 8; ++box) {
        if (ternary)
            PrintTernaryBox(box, nets[box]);
        else
            PrintBinaryBox(box, binary[box]);
    }
    std::printf("\n// S-box Box + 1.\n"
                "template <int Box, class Ops, class Word>\n"
                "QM_DES_TARGET QM_DES_INLINE void SBox(Word a1, Word a2, Word a3, Word a4, Word a5, Word a6, "
                "Word &y1, Word &y2,\n"
                "                                    Word &y3, Word &y4)\n{\n");
    for (int box = 0; box < 8; ++box)
        std::printf("    %sif constexpr (Box == %d)\n        SBox%d<Ops>(a1, a2, a3, a4, a5, a6, y1, y2, y3, y4);\n",
                    box == 0 ? "" : "else ", box, box + 1);
    std::printf("}\n\n}  // namespace %s_sboxes\n}  // namespace\n}  // namespace qm\n", kind);
}

}  // namespace

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
