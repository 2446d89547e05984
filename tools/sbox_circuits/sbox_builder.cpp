// sbox_builder.cpp - pools, combination and reoptimisation (sbox_builder.h).
#include "sbox_builder.h"

#include <algorithm>
#include <unordered_map>
#include <utility>
#include <vector>

#include "output_search.h"

namespace sboxgen {

namespace {

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

std::vector<Network> Pool(Model model, OutputSearch &search, int box, int bit, int runs)
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
Network Reoptimize(Model model, OutputSearch &search, int box, Network net, int runs)
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

}  // namespace

Network BuildBox(Model model, int box, int effort, int lookahead, int seeds)
{
    Network best;
    for (int seed = 0; seed < seeds; ++seed) {
        const unsigned start = 0x5EED0000u + 16u * static_cast<unsigned>(seed) + static_cast<unsigned>(box);
        OutputSearch search(model, start, lookahead);
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

}  // namespace sboxgen
