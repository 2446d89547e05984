// prefix_code.cpp - Huffman lengths and canonical codes (see prefix_code.h).
#include "packer/prefix_code.h"

#include <algorithm>
#include <functional>
#include <queue>

namespace qmpack {

// Huffman code lengths of at most kMaxCodeLength bits; a lone symbol gets 1.
std::vector<std::uint8_t> CodeLengths(std::vector<std::uint32_t> counts)
{
    const std::size_t n = counts.size();
    std::vector<std::uint8_t> lengths(n, 0);
    for (;;) {
        std::vector<std::size_t> used;
        for (std::size_t i = 0; i < n; ++i)
            if (counts[i])
                used.push_back(i);
        if (used.empty())
            return lengths;
        if (used.size() == 1) {
            lengths[used[0]] = 1;
            return lengths;
        }
        // Nodes: leaves 0..n-1, internal nodes after; parent links give depths.
        std::vector<std::uint64_t> weight(counts.begin(), counts.end());
        std::vector<std::size_t> parent(n, SIZE_MAX);
        using Item = std::pair<std::uint64_t, std::size_t>;
        std::priority_queue<Item, std::vector<Item>, std::greater<Item>> heap;
        for (std::size_t i : used)
            heap.push({weight[i], i});
        while (heap.size() > 1) {
            const Item a = heap.top();
            heap.pop();
            const Item b = heap.top();
            heap.pop();
            const std::size_t node = weight.size();
            weight.push_back(a.first + b.first);
            parent.push_back(SIZE_MAX);
            parent[a.second] = node;
            parent[b.second] = node;
            heap.push({a.first + b.first, node});
        }
        int longest = 0;
        for (std::size_t i : used) {
            int depth = 0;
            for (std::size_t p = parent[i]; p != SIZE_MAX; p = parent[p])
                ++depth;
            lengths[i] = static_cast<std::uint8_t>(std::min(depth, 255));
            longest = std::max(longest, depth);
        }
        if (longest <= kMaxCodeLength)
            return lengths;
        for (auto &c : counts)
            if (c)
                c = (c + 1) / 2;
        std::fill(lengths.begin(), lengths.end(), 0);
    }
}

// Canonical codes: shorter first, within one length by ascending symbol.
std::vector<std::uint32_t> CanonicalCodes(const std::vector<std::uint8_t> &lengths)
{
    std::vector<std::uint32_t> codes(lengths.size(), 0);
    std::uint32_t code = 0;
    for (int len = 1; len <= kMaxCodeLength; ++len) {
        for (std::size_t i = 0; i < lengths.size(); ++i)
            if (lengths[i] == len)
                codes[i] = code++;
        code <<= 1;
    }
    return codes;
}

}  // namespace qmpack
