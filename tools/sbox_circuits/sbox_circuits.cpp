// sbox_circuits - derives the eight DES S-boxes as networks of Boolean gates
// and writes them out as the headers the bitsliced cipher includes.
//
//   sbox_circuits ternary|binary [restarts] > header
//
// ternary: every gate is any function of three inputs (one vpternlogd each);
// binary:  every gate is AND, OR, XOR or AND-NOT of two inputs (one SSE2 or
//          AVX2 instruction each), and an output that comes out complemented
//          costs one NOT more.
//
// An S-box has six inputs and four outputs; over all 64 inputs at once, each
// signal of a network is a 64-bit truth table (bit x is its value for the
// input x, the S-box's first input bit being bit 5 of x).  The search grows
// the network one output at a time, reusing every signal made so far:
//
//   - a target already among the signals costs nothing;
//   - a target that is a function of one signal pair (binary) or triple
//     (ternary) costs one gate;
//   - otherwise the target is split: f = G(a, z) or G(a, b, z) for signals a
//     (and b) and a new signal z that only has to match f, or its complement,
//     on the parts where a (and b) leave f open, don't care elsewhere; or
//     f = a ? z1 : z0 with both halves new.  Of the splits, the one whose new
//     target comes closest to a single gate is taken (ties at random), and
//     the new target is solved the same way.
//
// Many randomised runs (outputs in random orders, random ties) are made and
// the smallest network is kept; a fixed seed makes the output repeatable.
// Every network is checked against the S-box table before it is written, and
// the tests check the committed headers again, exhaustively.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "crypto/des_tables.h"

namespace {

using Truth = std::uint64_t;

constexpr int kInputs = 6;
constexpr int kOutputs = 4;

enum class Model { Ternary, Binary };

// Binary gate kinds; AndNot(a, b) is ~a & b, like the instructions.
enum BinaryOp { kAnd, kOr, kXor, kAndNot };

struct Gate {
    int op;      // ternary: the 8-bit truth table; binary: a BinaryOp
    int in[3];   // signal numbers; in[2] unused by binary gates
};

// What a target must be: 1 on `ones`, 0 on `zeros`, anything elsewhere.
struct Target {
    Truth ones, zeros;
};

struct Network {
    std::vector<Truth> signal;  // the inputs, then one per gate
    std::vector<Gate> gate;
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

// The value of a three-input gate: bit (a << 2 | b << 1 | c) of op, as
// vpternlogd computes it.
Truth Ternary(int op, Truth a, Truth b, Truth c)
{
    Truth r = 0;
    for (int v = 0; v < 8; ++v)
        if ((op >> v) & 1)
            r |= ((v & 4) ? a : ~a) & ((v & 2) ? b : ~b) & ((v & 1) ? c : ~c);
    return r;
}

Truth Binary(int op, Truth a, Truth b)
{
    switch (op) {
    case kAnd: return a & b;
    case kOr: return a | b;
    case kXor: return a ^ b;
    default: return ~a & b;
    }
}

// The gate realising a two-input function h of (p, q), given as a truth
// table over index (p << 1 | q) with the bits of `dontCare` free: returns
// the gate and whether its value is the complement of h.
struct BinaryChoice {
    int op;
    bool swap;         // inputs (q, p) instead of (p, q)
    bool complemented;
};

bool ChooseBinary(int h, int dontCare, BinaryChoice &choice)
{
    // Exact forms first, then complemented ones.
    static const struct {
        int table;
        BinaryChoice choice;
    } kForms[] = {
        {0x8, {kAnd, false, false}},   {0x2, {kAndNot, false, false}}, {0x4, {kAndNot, true, false}},
        {0xE, {kOr, false, false}},    {0x6, {kXor, false, false}},    {0x1, {kOr, false, true}},
        {0x7, {kAnd, false, true}},    {0xD, {kAndNot, false, true}},  {0xB, {kAndNot, true, true}},
        {0x9, {kXor, false, true}},
    };
    for (const auto &f : kForms)
        if (((f.table ^ h) & ~dontCare & 0xF) == 0) {
            choice = f.choice;
            return true;
        }
    return false;
}

class Search {
public:
    Search(Model model, std::uint64_t seed) : model_(model), rng_(seed) {}

    // One randomised construction of the network for S-box `box`; false when
    // this run gave up (too deep).
    bool Build(int box, Network &net)
    {
        net_ = Network{};
        for (int i = 0; i < kInputs; ++i)
            net_.signal.push_back(InputTruth(i));
        int order[kOutputs] = {0, 1, 2, 3};
        std::shuffle(order, order + kOutputs, rng_);
        for (int bit : order) {
            const Truth want = OutputTruth(box, bit);
            const int s = Solve({want, ~want}, kMaxDepth);
            if (s < 0)
                return false;
            net_.out[bit] = s;
            net_.outComplemented[bit] = net_.signal[s] != want;
            if (model_ == Model::Ternary && net_.outComplemented[bit]) {
                // A three-input gate gives either polarity: redo the last
                // gate if it made this signal, else add a NOT.
                AddTernaryNot(bit);
            }
        }
        net = net_;
        return true;
    }

private:
    // Past this depth only splits on inputs are tried, which always end.
    static constexpr int kMaxDepth = 24;
    static constexpr int kInputSplitsOnly = 6;

    Model model_;
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
        const auto &s = net_.signal;
        const Truth v = model_ == Model::Ternary ? Ternary(g.op, s[g.in[0]], s[g.in[1]], s[g.in[2]])
                                                 : Binary(g.op, s[g.in[0]], s[g.in[1]]);
        net_.gate.push_back(g);
        net_.signal.push_back(v);
        return Count() - 1;
    }

    void AddTernaryNot(int bit)
    {
        const int s = net_.out[bit];
        const int last = Count() - 1;
        bool usedElsewhere = false;
        for (const Gate &g : net_.gate)
            for (int k = 0; k < 3; ++k)
                usedElsewhere = usedElsewhere || g.in[k] == s;
        for (int o = 0; o < kOutputs; ++o)
            usedElsewhere = usedElsewhere || (o != bit && net_.out[o] == s);
        if (s == last && s >= kInputs && !usedElsewhere) {
            net_.gate.back().op ^= 0xFF;
            net_.signal.back() = ~net_.signal.back();
        } else {
            net_.out[bit] = Add({0x0F, {s, s, s}});  // NOT of the first input
        }
        net_.outComplemented[bit] = false;
    }

    // ---- one gate ----------------------------------------------------------

    // The number of cells of a pair or triple on which the target is both 0
    // and 1: zero when one gate over them fits, and a measure of how far off
    // it is otherwise.
    static int Conflicts(const Truth *cells, int n, const Target &t, int stopAt)
    {
        int c = 0;
        for (int i = 0; i < n && c < stopAt; ++i)
            if ((cells[i] & t.ones) && (cells[i] & t.zeros))
                ++c;
        return c;
    }

    // The fewest conflicts over all pairs (binary) or triples (ternary) of
    // signals, stopping early below `stopAt`.
    int Distance(const Target &t, int stopAt) const
    {
        int best = stopAt;
        const auto &s = net_.signal;
        const int n = Count();
        for (int a = 0; a < n && best > 0; ++a)
            for (int b = a + 1; b < n && best > 0; ++b) {
                const Truth pair[4] = {~s[a] & ~s[b], ~s[a] & s[b], s[a] & ~s[b], s[a] & s[b]};
                if (model_ == Model::Binary) {
                    best = std::min(best, Conflicts(pair, 4, t, best));
                    continue;
                }
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

    // Adds one gate over existing signals that fits the target, choosing at
    // random among those that do; -1 when none does.
    int OneGate(const Target &t)
    {
        const auto &s = net_.signal;
        const int n = Count();
        std::vector<Gate> found;
        for (int a = 0; a < n; ++a)
            for (int b = a + 1; b < n; ++b) {
                if (model_ == Model::Binary) {
                    int h = 0, dontCare = 0;
                    bool ok = true;
                    for (int u = 0; u < 4 && ok; ++u) {
                        const Truth cell = ((u & 2) ? s[a] : ~s[a]) & ((u & 1) ? s[b] : ~s[b]);
                        const bool one = cell & t.ones, zero = cell & t.zeros;
                        ok = !(one && zero);
                        h |= one ? 1 << u : 0;
                        dontCare |= !one && !zero ? 1 << u : 0;
                    }
                    BinaryChoice c{};
                    if (ok && ChooseBinary(h, dontCare, c))
                        found.push_back({c.op, {c.swap ? b : a, c.swap ? a : b, -1}});
                    continue;
                }
                for (int c = b + 1; c < n; ++c) {
                    int op = 0;
                    bool ok = true;
                    for (int v = 0; v < 8 && ok; ++v) {
                        const Truth cell = ((v & 4) ? s[a] : ~s[a]) & ((v & 2) ? s[b] : ~s[b]) &
                                           ((v & 1) ? s[c] : ~s[c]);
                        const bool one = cell & t.ones, zero = cell & t.zeros;
                        ok = !(one && zero);
                        op |= one ? 1 << v : 0;
                    }
                    if (ok)
                        found.push_back({op, {a, b, c}});
                }
            }
        if (found.empty())
            return -1;
        // Prefer exact binary gates; among equals take one at random.
        if (model_ == Model::Binary) {
            std::vector<Gate> exact;
            for (const Gate &g : found)
                if (Fits(Binary(g.op, s[g.in[0]], s[g.in[1]]), t))
                    exact.push_back(g);
            if (!exact.empty())
                found = exact;
        }
        return Add(found[rng_() % found.size()]);
    }

    // ---- splits ------------------------------------------------------------

    // A guess at the gates a target needs, from its distance to one gate.
    static int Estimate(int distance) { return 1 + distance; }

    struct Split {
        int kind;  // 0: f = G(a, [b,] z); 1: f = a ? z1 : z0
        int a, b;
        Target z, z1;  // for kind 1, z is the a = 0 half and z1 the a = 1 half
        int score;
    };

    // Splits over the cells of signals a (and b): on a cell where f is
    // constant the new signal is free; on the others it follows f, or its
    // complement, cell by cell.  Keeping every cell's polarity the same
    // where every cell is open would only rename f.
    void CellSplits(const Target &t, int a, int b, int own, std::vector<Split> &out, int &best)
    {
        const auto &s = net_.signal;
        Truth cell[4];
        int cells = 0;
        if (b < 0) {
            cell[cells++] = ~s[a];
            cell[cells++] = s[a];
        } else {
            for (int u = 0; u < 4; ++u)
                cell[cells++] = ((u & 2) ? s[a] : ~s[a]) & ((u & 1) ? s[b] : ~s[b]);
        }
        int open[4], nOpen = 0;
        for (int u = 0; u < cells; ++u)
            if ((cell[u] & t.ones) && (cell[u] & t.zeros))
                open[nOpen++] = u;
        if (nOpen == 0)
            return;
        for (int pattern = 0; pattern < 1 << (nOpen - 1); ++pattern) {
            if (pattern == 0 && nOpen == cells)
                continue;
            Target z{0, 0};
            for (int k = 0; k < nOpen; ++k) {
                const Truth c = cell[open[k]];
                const bool flip = k > 0 && ((pattern >> (k - 1)) & 1);
                z.ones |= c & (flip ? t.zeros : t.ones);
                z.zeros |= c & (flip ? t.ones : t.zeros);
            }
            const bool smaller = (z.ones | z.zeros) != (t.ones | t.zeros);
            // Only distances whose score can match the best count.
            const int limit = std::min(best - 1, smaller ? 1 << 20 : own);
            const int d = Distance(z, limit);
            if (d >= limit)
                continue;
            const int score = 1 + Estimate(d);
            if (score > best)
                continue;
            if (score < best)
                out.clear();
            best = score;
            out.push_back({0, a, b, z, {}, score});
        }
    }

    int Solve(const Target &t, int depth)
    {
        if (const int s = Existing(t); s >= 0)
            return s;
        if (const int s = OneGate(t); s >= 0)
            return s;
        if (depth == 0) {
            if (getenv("SBOX_DEBUG")) std::fprintf(stderr, "depth out\n");
            return -1;
        }

        // A split must bring its new target closer to one gate than f is,
        // or leave it fewer cells to match; else it would only rename f.
        const int own = Distance(t, 1 << 20);
        std::vector<Split> splits;
        int best = 1 << 20;
        const int n = depth > kInputSplitsOnly ? Count() : 0;
        for (int a = 0; a < n; ++a) {
            if (model_ == Model::Binary)
                CellSplits(t, a, -1, own, splits, best);
            else
                for (int b = a + 1; b < n; ++b)
                    CellSplits(t, a, b, own, splits, best);
        }
        // Both halves new, split on an input.  Scored as the gates it adds
        // plus what its two halves are likely to cost.
        const int muxGates = model_ == Model::Binary ? 3 : 1;
        for (int a = 0; a < kInputs; ++a) {
            const Truth s = net_.signal[a];
            const Target z0{t.ones & ~s, t.zeros & ~s}, z1{t.ones & s, t.zeros & s};
            if (!(z0.ones | z0.zeros) || !(z1.ones | z1.zeros))
                continue;  // f does not look at this input
            const int score = muxGates + Estimate(Distance(z0, 1 << 20)) + Estimate(Distance(z1, 1 << 20));
            if (score < best) {
                splits.clear();
                best = score;
            }
            if (score == best)
                splits.push_back({1, a, -1, z0, z1, score});
        }
        if (getenv("SBOX_DEBUG")) std::fprintf(stderr, "depth %d own %d best %d kind %d n %zu\n", depth, own, best, splits.empty() ? -1 : splits[0].kind, splits.size());
        if (splits.empty())
            return -1;
        const Split sp = splits[rng_() % splits.size()];
        if (sp.kind == 1)
            return Multiplex(t, sp, depth);

        const int z = Solve(sp.z, depth - 1);
        if (z < 0)
            return -1;
        return Combine(t, sp.a, sp.b, z);
    }

    // The gate f = G(a, [b,] z) once z exists.
    int Combine(const Target &t, int a, int b, int z)
    {
        const auto &s = net_.signal;
        if (model_ == Model::Ternary) {
            int op = 0;
            for (int v = 0; v < 8; ++v) {
                const Truth cell = ((v & 4) ? s[a] : ~s[a]) & ((v & 2) ? s[b] : ~s[b]) & ((v & 1) ? s[z] : ~s[z]);
                op |= (cell & t.ones) ? 1 << v : 0;
            }
            return Add({op, {a, b, z}});
        }
        int h = 0, dontCare = 0;
        for (int u = 0; u < 4; ++u) {
            const Truth cell = ((u & 2) ? s[a] : ~s[a]) & ((u & 1) ? s[z] : ~s[z]);
            h |= (cell & t.ones) ? 1 << u : 0;
            dontCare |= !(cell & (t.ones | t.zeros)) ? 1 << u : 0;
        }
        BinaryChoice c{};
        if (!ChooseBinary(h, dontCare, c))
            return -1;
        return Add({c.op, {c.swap ? z : a, c.swap ? a : z, -1}});
    }

    int Multiplex(const Target &t, const Split &sp, int depth)
    {
        const int z0 = Solve(sp.z, depth - 1);
        if (z0 < 0)
            return -1;
        const int z1 = Solve(sp.z1, depth - 1);
        if (z1 < 0)
            return -1;
        const auto &s = net_.signal;
        const int a = sp.a;
        if (model_ == Model::Ternary) {
            int op = 0;
            for (int v = 0; v < 8; ++v) {
                const Truth cell =
                    ((v & 4) ? s[a] : ~s[a]) & ((v & 2) ? s[z0] : ~s[z0]) & ((v & 1) ? s[z1] : ~s[z1]);
                op |= (cell & t.ones) ? 1 << v : 0;
            }
            return Add({op, {a, z0, z1}});
        }
        // (a & z1') | (~a & z0'), each half taken in the polarity that
        // matches f on its side.
        const bool flip0 = !Fits(s[z0], sp.z), flip1 = !Fits(s[z1], sp.z1);
        const int low = flip0 ? Add({kOr, {a, z0, -1}}) : Add({kAndNot, {a, z0, -1}});   // ~a & z0 (or its complement)
        const int high = flip1 ? Add({kAndNot, {z1, a, -1}}) : Add({kAnd, {a, z1, -1}});  // a & z1
        // flip0: low = a | z0 = ~(~a & ~z0), so f's low part is ~low.
        if (flip0) {
            // f = ~low | high  =  ~(low & ~high)
            const int g = Add({kAndNot, {high, low, -1}});
            return g;  // complemented; callers take either polarity
        }
        return Add({kOr, {low, high, -1}});
    }
};

bool Verify(Model model, int box, const Network &net)
{
    std::vector<Truth> v(net.signal.begin(), net.signal.begin() + kInputs);
    for (const Gate &g : net.gate)
        v.push_back(model == Model::Ternary ? Ternary(g.op, v[g.in[0]], v[g.in[1]], v[g.in[2]])
                                            : Binary(g.op, v[g.in[0]], v[g.in[1]]));
    for (int bit = 0; bit < kOutputs; ++bit) {
        const Truth got = net.outComplemented[bit] ? ~v[net.out[bit]] : v[net.out[bit]];
        if (got != OutputTruth(box, bit))
            return false;
    }
    return true;
}

// Drops gates that no output needs and renumbers the rest.
Network Prune(Model model, const Network &net)
{
    const int n = static_cast<int>(net.signal.size());
    std::vector<bool> live(n, false);
    for (int o : net.out)
        live[o] = true;
    for (int i = n - 1; i >= kInputs; --i)
        if (live[i]) {
            const Gate &g = net.gate[i - kInputs];
            for (int k = 0; k < (model == Model::Ternary ? 3 : 2); ++k)
                live[g.in[k]] = true;
        }
    std::vector<int> renumber(n, -1);
    Network out;
    for (int i = 0; i < kInputs; ++i) {
        renumber[i] = i;
        out.signal.push_back(net.signal[i]);
    }
    for (int i = kInputs; i < n; ++i)
        if (live[i]) {
            Gate g = net.gate[i - kInputs];
            for (int k = 0; k < 3; ++k)
                if (g.in[k] >= 0)
                    g.in[k] = renumber[g.in[k]];
            renumber[i] = static_cast<int>(out.signal.size());
            out.gate.push_back(g);
            out.signal.push_back(net.signal[i]);
        }
    for (int o = 0; o < kOutputs; ++o) {
        out.out[o] = renumber[net.out[o]];
        out.outComplemented[o] = net.outComplemented[o];
    }
    return out;
}

std::string Name(int signal)
{
    if (signal < kInputs)
        return "a" + std::to_string(signal + 1);
    return "t" + std::to_string(signal - kInputs);
}

void PrintBox(Model model, int box, const Network &net)
{
    std::printf("\n// S-box %d: %d gates.\n", box + 1, net.Cost());
    std::printf("template <class Ops, class Word>\n"
                "QM_DES_TARGET QM_DES_INLINE void SBox%d(Word a1, Word a2, Word a3, Word a4, Word a5, Word a6,\n"
                "                                     Word &y1, Word &y2, Word &y3, Word &y4)\n{\n",
                box + 1);
    static const char *kBinaryName[] = {"And", "Or", "Xor", "AndNot"};
    for (std::size_t i = 0; i < net.gate.size(); ++i) {
        const Gate &g = net.gate[i];
        const int self = kInputs + static_cast<int>(i);
        if (model == Model::Ternary)
            std::printf("    const Word %s = Ops::template Ternary<0x%02X>(%s, %s, %s);\n", Name(self).c_str(), g.op,
                        Name(g.in[0]).c_str(), Name(g.in[1]).c_str(), Name(g.in[2]).c_str());
        else
            std::printf("    const Word %s = Ops::%s(%s, %s);\n", Name(self).c_str(), kBinaryName[g.op],
                        Name(g.in[0]).c_str(), Name(g.in[1]).c_str());
    }
    for (int o = 0; o < kOutputs; ++o) {
        if (net.outComplemented[o])
            std::printf("    y%d = Ops::Not(%s);\n", o + 1, Name(net.out[o]).c_str());
        else
            std::printf("    y%d = %s;\n", o + 1, Name(net.out[o]).c_str());
    }
    std::printf("}\n");
}

void PrintHeader(Model model, int restarts, const Network (&nets)[8])
{
    const bool ternary = model == Model::Ternary;
    const char *kind = ternary ? "ternary" : "binary";
    int total = 0;
    for (const Network &n : nets)
        total += n.Cost();
    std::printf("// des_sboxes_%s.h - the eight DES S-boxes as networks of %s gates,\n", kind,
                ternary ? "three-input" : "two-input");
    if (ternary)
        std::printf("// for processors that evaluate any three-input function of whole words in\n"
                    "// one instruction (vpternlogd).\n");
    else
        std::printf("// AND, OR, XOR and AND-NOT, one SSE2 or AVX2 instruction each.\n");
    std::printf("//\n"
                "// Generated by tools/sbox_circuits (`sbox_circuits %s %d`); do not edit:\n"
                "// change the generator and run it again.  The tests check every network\n"
                "// against the S-box table on all 64 inputs.\n"
                "//\n"
                "// SBoxN takes the six input bits a1..a6 of S-box N (a1 the first, as the\n"
                "// expansion delivers them) as whole words, one bit of many blocks each, and\n"
                "// gives its four output bits y1..y4 (y1 the most significant).  Ops supplies\n"
                "// the gates on words:\n",
                kind, restarts);
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
    for (int box = 0; box < 8; ++box)
        PrintBox(model, box, nets[box]);
    std::printf("\n// S-box Box + 1.\n"
                "template <int Box, class Ops, class Word>\n"
                "QM_DES_TARGET QM_DES_INLINE void SBox(Word a1, Word a2, Word a3, Word a4, Word a5, Word a6,\n"
                "                                    Word &y1, Word &y2, Word &y3, Word &y4)\n{\n");
    for (int box = 0; box < 8; ++box)
        std::printf("    %sif constexpr (Box == %d)\n        SBox%d<Ops>(a1, a2, a3, a4, a5, a6, y1, y2, y3, y4);\n",
                    box == 0 ? "" : "else ", box, box + 1);
    std::printf("}\n\n}  // namespace %s_sboxes\n}  // namespace\n}  // namespace qm\n", kind);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || (std::strcmp(argv[1], "ternary") != 0 && std::strcmp(argv[1], "binary") != 0)) {
        std::fprintf(stderr, "usage: sbox_circuits ternary|binary [restarts]\n");
        return 2;
    }
    const Model model = std::strcmp(argv[1], "ternary") == 0 ? Model::Ternary : Model::Binary;
    const int restarts = argc > 2 ? std::atoi(argv[2]) : 200;

    Network best[8];
    int total = 0;
    for (int box = 0; box < 8; ++box) {
        int bestCost = 1 << 20;
        Search search(model, 0x5EED0000u + static_cast<unsigned>(box));
        for (int r = 0; r < restarts; ++r) {
            Network net;
            if (!search.Build(box, net))
                continue;
            net = Prune(model, net);
            if (!Verify(model, box, net)) {
                std::fprintf(stderr, "S-box %d: a network failed its check\n", box + 1);
                return 1;
            }
            if (net.Cost() < bestCost) {
                bestCost = net.Cost();
                best[box] = net;
            }
        }
        if (bestCost == 1 << 20) {
            std::fprintf(stderr, "S-box %d: no network found\n", box + 1);
            return 1;
        }
        std::fprintf(stderr, "S-box %d: %d\n", box + 1, bestCost);
        total += bestCost;
    }
    std::fprintf(stderr, "total %d\n", total);
    PrintHeader(model, restarts, best);
    return 0;
}
