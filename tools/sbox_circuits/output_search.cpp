// output_search.cpp - the top-down search for one output (output_search.h).
#include "output_search.h"

#include <algorithm>
#include <random>
#include <vector>

namespace sboxgen {

class OutputSearch::Impl {
public:
    Impl(Model model, std::uint64_t seed, int lookahead) : model_(model), lookahead_(lookahead), rng_(seed) {}

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

OutputSearch::OutputSearch(Model model, std::uint64_t seed, int lookahead)
    : impl_(std::make_unique<Impl>(model, seed, lookahead))
{
}

OutputSearch::~OutputSearch() = default;

bool OutputSearch::SolveOutput(int box, int bit, const Network &base, Network &net)
{
    return impl_->SolveOutput(box, bit, base, net);
}

}  // namespace sboxgen
