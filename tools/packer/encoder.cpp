// encoder.cpp - greedy/lazy LZ77 with hash chains and audio-mode blocks, with
// prefix codes built per block.
//
// Token choice.  At each position the encoder weighs:
//   - repeating the last match exactly (256), when its length still fits;
//   - each of the four last distances (257-260): length = slot base + 2 +
//     bits, + 1 each from distances 0x101, 0x2000 and 0x40000 up, so a far
//     distance needs a longer match;
//   - the longest hash-chain match (270-297): length = slot base + 3 + bits,
//     + 1 each from 0x2000 and 0x40000 up;
//   - a length-2 match up to 256 back (261-268);
// and takes the best by a rough bit-cost score, or a literal.
//
// Tables.  Each block's code lengths (main 298, distance 48, repeat length
// 28) are coded with the 19-symbol bit-length code: 0-15 the length minus the
// previous one mod 16, 16 a repeat of the length just coded, 17/18 runs of
// zeros.  The encoder mirrors the decoder's previous lengths.
//
// Audio blocks.  The bytes of a block become predictor symbols, one table of
// 257 per channel (256 ends the block).  The channel rotation and the
// predictors run on across blocks as in the decoder; a table read with fewer
// channels than the current one restarts at channel 0.  The channel count of
// a block (1, 2 or 4 byte lanes: 8- or 16-bit PCM, mono or stereo) and, in
// the automatic choice, audio against LZ, are decided by coding the block
// each way into a bit counter and keeping the smallest.
#include "packer/encoder.h"

#include <algorithm>
#include <array>
#include <functional>
#include <queue>
#include <span>
#include <vector>

#include "packer/audio_predictor.h"

namespace qmpack {

namespace {

constexpr int kMainSymbols = 298;
constexpr int kDistanceSymbols = 48;
constexpr int kLengthSymbols = 28;
constexpr int kLzLengths = kMainSymbols + kDistanceSymbols + kLengthSymbols;
constexpr int kAudioSymbols = 257;  // per channel: 0-255 deltas, 256 new tables
constexpr int kMaxLengths = 4 * kAudioSymbols;
static_assert(kLzLengths <= kMaxLengths);
constexpr int kBitLengthSymbols = 19;
constexpr int kMaxCodeLength = 15;

constexpr std::uint32_t kWindow = 0x100000;
constexpr std::uint32_t kHashBits = 16;

// base[k + 1] = base[k] + 2^bits[k], base[0] = 0.
template <int N>
struct SlotTable {
    std::array<std::uint32_t, N> base{};
    std::array<std::uint8_t, N> bits{};
};

constexpr SlotTable<28> MakeLengthSlots()
{
    SlotTable<28> t{};
    for (int k = 0; k < 28; ++k) {
        t.bits[k] = static_cast<std::uint8_t>(k < 8 ? 0 : (k - 4) / 4);
        if (k > 0)
            t.base[k] = t.base[k - 1] + (1u << t.bits[k - 1]);
    }
    return t;
}

constexpr SlotTable<48> MakeDistanceSlots()
{
    SlotTable<48> t{};
    for (int k = 0; k < 48; ++k) {
        t.bits[k] = static_cast<std::uint8_t>(k < 4 ? 0 : k < 34 ? k / 2 - 1 : 16);
        if (k > 0)
            t.base[k] = t.base[k - 1] + (1u << t.bits[k - 1]);
    }
    return t;
}

constexpr SlotTable<8> kShortSlots = {{0, 4, 8, 16, 32, 64, 128, 192}, {2, 2, 3, 4, 5, 6, 6, 6}};
constexpr SlotTable<28> kLengthSlots = MakeLengthSlots();
constexpr SlotTable<48> kDistanceSlots = MakeDistanceSlots();
static_assert(kLengthSlots.base[27] == 224 && kLengthSlots.bits[27] == 5);
static_assert(kDistanceSlots.base[47] == 983040 && kDistanceSlots.base[34] == 131072);

template <int N>
int SlotOf(const SlotTable<N> &t, std::uint32_t value)
{
    int k = static_cast<int>(std::upper_bound(t.base.begin(), t.base.end(), value) - t.base.begin()) - 1;
    return k;
}

std::uint32_t Bonus2(std::uint32_t d) { return (d >= 0x2000) + (d >= 0x40000); }
std::uint32_t Bonus3(std::uint32_t d) { return (d >= 0x101) + Bonus2(d); }

// ---- bit output ---------------------------------------------------------------

// Writes bits most significant first; without an output it only counts them
// (to weigh one way of coding a block against another).
class BitWriter {
public:
    explicit BitWriter(Bytes *out) : out_(out) {}
    void Put(std::uint32_t value, int bits)
    {
        if (bits == 0)
            return;
        total_ += static_cast<std::uint64_t>(bits);
        if (!out_)
            return;
        acc_ = (acc_ << bits) | (value & ((1u << bits) - 1));
        count_ += bits;
        while (count_ >= 8) {
            count_ -= 8;
            out_->push_back(static_cast<std::uint8_t>(acc_ >> count_));
        }
    }
    void Finish()
    {
        if (out_ && count_ > 0)
            out_->push_back(static_cast<std::uint8_t>(acc_ << (8 - count_)));
        count_ = 0;
    }
    std::uint64_t Total() const { return total_; }

private:
    Bytes *out_;
    std::uint64_t acc_ = 0;
    std::uint64_t total_ = 0;
    int count_ = 0;
};

// ---- prefix codes ---------------------------------------------------------------

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

struct Code {
    std::vector<std::uint8_t> lengths;
    std::vector<std::uint32_t> codes;

    explicit Code(const std::vector<std::uint32_t> &counts)
        : lengths(CodeLengths(counts)), codes(CanonicalCodes(lengths)) {}
    void Put(BitWriter &w, std::size_t symbol) const { w.Put(codes[symbol], lengths[symbol]); }
};

// ---- tokens -----------------------------------------------------------------------

enum class Kind : std::uint8_t { Literal, RepeatLast, Old, Short, Long };

struct Token {
    Kind kind;
    std::uint8_t oldIndex;    // 0 = the latest distance
    std::uint16_t length;     // or the literal byte
    std::uint32_t distance;
};

class Tokenizer {
public:
    Tokenizer(const std::uint8_t *data, std::size_t size, const EncoderOptions &options)
        : data_(data), size_(size), options_(options),
          head_(std::size_t{1} << kHashBits, 0), prev_(kWindow, 0), pair_(65536, 0)
    {
        maxDistance_ = std::min<std::uint32_t>(std::max<std::uint32_t>(options.maxDistance, 1), kWindow);
    }

    bool Done() const { return pos_ >= size_; }
    std::size_t Position() const { return pos_; }

    // The match history the decoder keeps (the last four distances, the last
    // match).  A block the encoder codes in audio mode after all leaves the
    // decoder's history as it was, so the tokenizer's goes back too.
    struct History {
        std::uint32_t old[4];
        std::uint32_t matchCount, lastDistance, lastLength;
    };
    History SaveHistory() const
    {
        return {{old_[0], old_[1], old_[2], old_[3]}, matchCount_, lastDistance_, lastLength_};
    }
    void RestoreHistory(const History &h)
    {
        std::copy(h.old, h.old + 4, old_);
        matchCount_ = h.matchCount;
        lastDistance_ = h.lastDistance;
        lastLength_ = h.lastLength;
    }

    Token Next()
    {
        Candidate best = Best(pos_);
        if (options_.lazy && best.length > 0 && best.length < 64 && pos_ + 1 < size_) {
            Insert(pos_);
            const Candidate next = Best(pos_ + 1);
            if (next.score > best.score + 4) {
                const Token t{Kind::Literal, 0, data_[pos_], 0};
                ++pos_;
                return t;
            }
            // pos_ is inserted; Take skips it.
            return Take(best, true);
        }
        return Take(best, false);
    }

private:
    struct Candidate {
        Kind kind = Kind::Literal;
        std::uint8_t oldIndex = 0;
        std::uint32_t length = 0;
        std::uint32_t distance = 0;
        int score = 0;
    };

    std::uint32_t Hash(std::size_t i) const
    {
        const std::uint32_t v = (std::uint32_t{data_[i]} << 16) | (std::uint32_t{data_[i + 1]} << 8) | data_[i + 2];
        return (v * 2654435761u) >> (32 - kHashBits);
    }

    void Insert(std::size_t i)
    {
        if (i + 2 < size_) {
            const std::uint32_t h = Hash(i);
            prev_[i & (kWindow - 1)] = head_[h];
            head_[h] = static_cast<std::uint32_t>(i + 1);
        }
        if (i + 1 < size_)
            pair_[(data_[i] << 8) | data_[i + 1]] = static_cast<std::uint32_t>(i + 1);
    }

    std::uint32_t MatchLength(std::size_t i, std::uint32_t distance, std::uint32_t limit) const
    {
        // Bytes from before the start of the data read as zeros in the
        // decoder's fresh window; the encoder simply never reaches there.
        if (distance == 0 || distance > i)
            return 0;
        const std::uint8_t *a = data_ + i;
        const std::uint8_t *b = a - distance;
        std::uint32_t n = 0;
        while (n < limit && a[n] == b[n])
            ++n;
        return n;
    }

    std::uint32_t Limit(std::size_t i, std::uint32_t cap) const
    {
        return static_cast<std::uint32_t>(std::min<std::size_t>(cap, size_ - i));
    }

    Candidate Best(std::size_t i) const
    {
        Candidate best;
        auto consider = [&](Candidate c) {
            if (c.length > 0 && c.score > best.score)
                best = c;
        };

        // Repeat the last match exactly.
        if (lastLength_ > 0 && MatchLength(i, lastDistance_, Limit(i, lastLength_)) == lastLength_)
            consider({Kind::RepeatLast, 0, lastLength_, lastDistance_, static_cast<int>(lastLength_) * 8 - 6});

        // The four last distances.
        for (int j = 0; j < 4; ++j) {
            const std::uint32_t d = old_[(matchCount_ - (j + 1)) & 3];
            const std::uint32_t bonus = Bonus3(d);
            const std::uint32_t len = MatchLength(i, d, Limit(i, 257 + bonus));
            if (len >= 2 + bonus)
                consider({Kind::Old, static_cast<std::uint8_t>(j), len, d, static_cast<int>(len) * 8 - 10 - 2 * j});
        }

        // The hash chain.
        if (i + 2 < size_) {
            std::uint32_t candidate = head_[Hash(i)];
            std::uint32_t bestLen = 0, bestDist = 0;
            for (int steps = 0; candidate != 0 && steps < options_.maxChain; ++steps) {
                const std::size_t c = candidate - 1;
                if (c >= i)
                    break;
                const std::uint32_t d = static_cast<std::uint32_t>(i - c);
                if (d > maxDistance_)
                    break;
                const std::uint32_t cap = Limit(i, 258 + Bonus2(d));
                if (cap > bestLen && data_[c + bestLen] == data_[i + bestLen]) {
                    const std::uint32_t len = MatchLength(i, d, cap);
                    if (len > bestLen && len >= 3 + Bonus2(d)) {
                        bestLen = len;
                        bestDist = d;
                        if (len == cap)
                            break;
                    }
                }
                const std::uint32_t next = prev_[c & (kWindow - 1)];
                if (next >= candidate)
                    break;
                candidate = next;
            }
            if (bestLen > 0) {
                int extra = 14 + static_cast<int>(kDistanceSlots.bits[SlotOf(kDistanceSlots, bestDist - 1)]);
                consider({Kind::Long, 0, bestLen, bestDist, static_cast<int>(bestLen) * 8 - extra});
            }
        }

        // A pair up to 256 back.
        if (best.length == 0 && i + 1 < size_) {
            const std::uint32_t p = pair_[(data_[i] << 8) | data_[i + 1]];
            if (p != 0 && p - 1 < i && i - (p - 1) <= 256)
                consider({Kind::Short, 0, 2, static_cast<std::uint32_t>(i - (p - 1)), 4});
        }
        return best;
    }

    Token Take(const Candidate &c, bool firstInserted)
    {
        if (c.length == 0) {
            if (!firstInserted)
                Insert(pos_);
            const Token t{Kind::Literal, 0, data_[pos_], 0};
            ++pos_;
            return t;
        }
        for (std::size_t k = firstInserted ? 1 : 0; k < c.length; ++k)
            Insert(pos_ + k);
        pos_ += c.length;
        lastDistance_ = c.distance;
        lastLength_ = c.length;
        old_[matchCount_ & 3] = c.distance;
        ++matchCount_;
        return Token{c.kind, c.oldIndex, static_cast<std::uint16_t>(c.length), c.distance};
    }

    const std::uint8_t *data_;
    std::size_t size_;
    EncoderOptions options_;
    std::uint32_t maxDistance_;
    std::vector<std::uint32_t> head_;  // hash -> position + 1
    std::vector<std::uint32_t> prev_;  // position mod window -> earlier position + 1
    std::vector<std::uint32_t> pair_;  // two bytes -> latest position + 1
    std::size_t pos_ = 0;
    std::uint32_t old_[4] = {};
    std::uint32_t matchCount_ = 0;
    std::uint32_t lastDistance_ = 0;
    std::uint32_t lastLength_ = 0;
};

// ---- block output -------------------------------------------------------------------

struct SymbolCounts {
    std::vector<std::uint32_t> main = std::vector<std::uint32_t>(kMainSymbols, 0);
    std::vector<std::uint32_t> distance = std::vector<std::uint32_t>(kDistanceSymbols, 0);
    std::vector<std::uint32_t> length = std::vector<std::uint32_t>(kLengthSymbols, 0);
};

void CountToken(const Token &t, SymbolCounts &c)
{
    switch (t.kind) {
    case Kind::Literal:
        ++c.main[t.length];
        break;
    case Kind::RepeatLast:
        ++c.main[256];
        break;
    case Kind::Old:
        ++c.main[257 + t.oldIndex];
        ++c.length[SlotOf(kLengthSlots, t.length - Bonus3(t.distance) - 2)];
        break;
    case Kind::Short:
        ++c.main[261 + SlotOf(kShortSlots, t.distance - 1)];
        break;
    case Kind::Long:
        ++c.main[270 + SlotOf(kLengthSlots, t.length - Bonus2(t.distance) - 3)];
        ++c.distance[SlotOf(kDistanceSlots, t.distance - 1)];
        break;
    }
}

void PutToken(const Token &t, BitWriter &w, const Code &main, const Code &distance, const Code &length)
{
    switch (t.kind) {
    case Kind::Literal:
        main.Put(w, t.length);
        break;
    case Kind::RepeatLast:
        main.Put(w, 256);
        break;
    case Kind::Old: {
        main.Put(w, 257 + t.oldIndex);
        const std::uint32_t v = t.length - Bonus3(t.distance) - 2;
        const int k = SlotOf(kLengthSlots, v);
        length.Put(w, k);
        w.Put(v - kLengthSlots.base[k], kLengthSlots.bits[k]);
        break;
    }
    case Kind::Short: {
        const std::uint32_t v = t.distance - 1;
        const int k = SlotOf(kShortSlots, v);
        main.Put(w, 261 + k);
        w.Put(v - kShortSlots.base[k], kShortSlots.bits[k]);
        break;
    }
    case Kind::Long: {
        const std::uint32_t v = t.length - Bonus2(t.distance) - 3;
        const int k = SlotOf(kLengthSlots, v);
        main.Put(w, 270 + k);
        w.Put(v - kLengthSlots.base[k], kLengthSlots.bits[k]);
        const std::uint32_t dv = t.distance - 1;
        const int dk = SlotOf(kDistanceSlots, dv);
        distance.Put(w, dk);
        w.Put(dv - kDistanceSlots.base[dk], kDistanceSlots.bits[dk]);
        break;
    }
    }
}

// One run-coded entry of a table's length list.
struct LengthCode {
    std::uint8_t symbol;
    std::uint8_t extraBits;
    std::uint8_t extra;
};

std::vector<LengthCode> RunCode(const std::vector<std::uint8_t> &lengths, const std::uint8_t *previous)
{
    std::vector<LengthCode> out;
    const std::size_t n = lengths.size();
    for (std::size_t i = 0; i < n;) {
        std::size_t run = 1;
        while (i + run < n && lengths[i + run] == lengths[i])
            ++run;
        if (lengths[i] == 0 && run >= 3) {
            const std::size_t r = std::min<std::size_t>(run, 138);
            if (r >= 11)
                out.push_back({18, 7, static_cast<std::uint8_t>(r - 11)});
            else
                out.push_back({17, 3, static_cast<std::uint8_t>(r - 3)});
            i += r;
            continue;
        }
        if (i > 0 && lengths[i] == lengths[i - 1]) {
            // Repeats of the length just coded.
            std::size_t same = 0;
            while (i + same < n && lengths[i + same] == lengths[i - 1])
                ++same;
            if (same >= 3) {
                const std::size_t r = std::min<std::size_t>(same, 6);
                out.push_back({16, 2, static_cast<std::uint8_t>(r - 3)});
                i += r;
                continue;
            }
        }
        out.push_back({static_cast<std::uint8_t>((lengths[i] - previous[i]) & 15), 0, 0});
        ++i;
    }
    return out;
}

// What the decoder carries from one block to the next, mirrored.
struct StreamState {
    std::uint8_t previous[kMaxLengths] = {};
    // Lengths the latest table read set; the reset gives every one a value.
    std::size_t previousCount = kMaxLengths;
    std::size_t tableReads = 0;
    bool audio = false;  // mode of the latest table read
    int channel = 0;     // audio channel of the next byte
    AudioPredictor predictor;
};

// Entries past the lengths of the latest table read have no value every
// decoder agrees on, so a delta-coded read covers only lengths that one set.
bool UseDelta(const EncoderOptions &options, const StreamState &st, std::size_t count)
{
    if (count > st.previousCount)
        return false;
    return options.delta == TableDelta::Always ||
           (options.delta == TableDelta::Alternate && st.tableReads % 2 == 1);
}

// A table read: the mode bits, the bit-length code, the run-coded lengths.
void PutTables(BitWriter &w, int audioChannels, const std::vector<std::uint8_t> &lengths,
               StreamState &st, bool delta, EncoderStats *stats)
{
    static const std::uint8_t zeros[kMaxLengths] = {};
    const std::uint8_t *base = delta ? st.previous : zeros;
    const std::vector<LengthCode> coded = RunCode(lengths, base);
    std::vector<std::uint32_t> counts(kBitLengthSymbols, 0);
    for (const LengthCode &c : coded)
        ++counts[c.symbol];
    const Code bitLengths(counts);

    const bool audio = audioChannels > 0;
    w.Put((audio ? 2 : 0) | (delta ? 1 : 0), 2);  // bit 15 audio mode, bit 14 keep previous
    if (audio)
        w.Put(static_cast<std::uint32_t>(audioChannels - 1), 2);
    for (int s = 0; s < kBitLengthSymbols; ++s)
        w.Put(bitLengths.lengths[s], 4);
    for (const LengthCode &c : coded) {
        bitLengths.Put(w, c.symbol);
        w.Put(c.extra, c.extraBits);
    }
    std::copy(lengths.begin(), lengths.end(), st.previous);
    std::fill(st.previous + lengths.size(), st.previous + kMaxLengths, 0);
    st.previousCount = lengths.size();
    if (stats) {
        ++(delta ? stats->deltaTables : stats->plainTables);
        if (st.tableReads > 0 && st.audio != audio)
            ++stats->modeSwitches;
    }
    ++st.tableReads;
    st.audio = audio;
}

void Note(const Token &t, EncoderStats &s)
{
    switch (t.kind) {
    case Kind::Literal: ++s.literals; return;
    case Kind::RepeatLast: ++s.repeatLast; break;
    case Kind::Old: ++s.oldDistance; break;
    case Kind::Short: ++s.shortDistance; break;
    case Kind::Long: ++s.longMatches; break;
    }
    s.distance101 += t.distance >= 0x101;
    s.distance2000 += t.distance >= 0x2000;
    s.distance40000 += t.distance >= 0x40000;
    s.longestDistance = std::max(s.longestDistance, t.distance);
    s.longestLength = std::max<std::uint32_t>(s.longestLength, t.length);
}

// One LZ block: its tables, its tokens and, when more follows, symbol 269.
void PutLzBlock(BitWriter &w, const std::vector<Token> &block, bool more,
                const EncoderOptions &options, StreamState &st, EncoderStats *stats)
{
    SymbolCounts counts;
    for (const Token &t : block)
        CountToken(t, counts);
    if (more)
        ++counts.main[269];
    const Code main(counts.main), distance(counts.distance), length(counts.length);

    std::vector<std::uint8_t> lengths;
    lengths.insert(lengths.end(), main.lengths.begin(), main.lengths.end());
    lengths.insert(lengths.end(), distance.lengths.begin(), distance.lengths.end());
    lengths.insert(lengths.end(), length.lengths.begin(), length.lengths.end());
    PutTables(w, 0, lengths, st, UseDelta(options, st, lengths.size()), stats);

    for (const Token &t : block) {
        PutToken(t, w, main, distance, length);
        if (stats)
            Note(t, *stats);
    }
    if (more)
        main.Put(w, 269);
    if (stats) {
        ++stats->lzBlocks;
        stats->newTables += more;
    }
}

// The symbols of one block of bytes in audio mode with a given channel count.
struct AudioPlan {
    int channels = 1;
    int first = 0;  // channel of the first byte
    std::vector<std::uint8_t> symbols;
    AudioPredictor after;  // the predictors after the block

    int ChannelAfter() const
    {
        return static_cast<int>((static_cast<std::size_t>(first) + symbols.size()) % channels);
    }
};

AudioPlan PlanAudio(const std::uint8_t *data, std::size_t n, int channels, const StreamState &st)
{
    AudioPlan plan;
    plan.channels = channels;
    // A table read with fewer channels than the current one restarts at 0.
    plan.first = st.channel < channels ? st.channel : 0;
    plan.after = st.predictor;
    plan.symbols.resize(n);
    int c = plan.first;
    for (std::size_t i = 0; i < n; ++i) {
        plan.symbols[i] = plan.after.Code(c, data[i]);
        if (++c == channels)
            c = 0;
    }
    return plan;
}

// One audio block: its tables, its symbols and, when more follows, symbol 256
// of the channel that would take the next byte.
void PutAudioBlock(BitWriter &w, const AudioPlan &plan, bool more, const EncoderOptions &options,
                   StreamState &st, EncoderStats *stats)
{
    const int channels = plan.channels;
    const int last = plan.ChannelAfter();
    std::vector<std::vector<std::uint32_t>> counts(channels, std::vector<std::uint32_t>(kAudioSymbols, 0));
    int c = plan.first;
    for (const std::uint8_t symbol : plan.symbols) {
        ++counts[c][symbol];
        if (++c == channels)
            c = 0;
    }
    if (more)
        ++counts[last][256];
    std::vector<Code> codes;
    std::vector<std::uint8_t> lengths;
    for (int k = 0; k < channels; ++k) {
        codes.emplace_back(counts[k]);
        lengths.insert(lengths.end(), codes.back().lengths.begin(), codes.back().lengths.end());
    }
    PutTables(w, channels, lengths, st, UseDelta(options, st, lengths.size()), stats);

    c = plan.first;
    for (const std::uint8_t symbol : plan.symbols) {
        codes[c].Put(w, symbol);
        if (++c == channels)
            c = 0;
    }
    if (more)
        codes[last].Put(w, 256);
    st.channel = last;
    st.predictor = plan.after;
    if (stats) {
        ++stats->audioBlocks;
        ++stats->audioBlocksByChannels[channels];
        stats->audioBytes += plan.symbols.size();
        stats->audioNewTables += more;
    }
}

std::uint64_t CountBits(const std::function<void(BitWriter &)> &put)
{
    BitWriter counter(nullptr);
    put(counter);
    return counter.Total();
}

// The channel count that codes n bytes smallest in audio mode, and its bits.
AudioPlan BestAudioPlan(const std::uint8_t *data, std::size_t n, bool more,
                        const EncoderOptions &options, const StreamState &st, std::uint64_t &bits)
{
    static constexpr int kDefaultCounts[] = {1, 2, 4};
    const int only[] = {options.audioChannels};
    const bool fixed = options.audioChannels >= 1 && options.audioChannels <= 4;
    AudioPlan best;
    bits = UINT64_MAX;
    for (const int channels : fixed ? std::span<const int>(only) : std::span<const int>(kDefaultCounts)) {
        AudioPlan plan = PlanAudio(data, n, channels, st);
        StreamState scratch = st;
        const std::uint64_t b = CountBits(
            [&](BitWriter &counter) { PutAudioBlock(counter, plan, more, options, scratch, nullptr); });
        if (b < bits) {
            bits = b;
            best = std::move(plan);
        }
    }
    return best;
}

}  // namespace

Bytes Encode(const std::uint8_t *data, std::size_t size, const EncoderOptions &options,
             EncoderStats *stats)
{
    Bytes out;
    BitWriter w(&out);
    StreamState st;
    const std::size_t blockSymbols = std::max<std::size_t>(options.blockSymbols, 1);
    std::uint64_t audioBits = 0;

    if (options.audio == AudioMode::Always) {
        // Blocks of blockSymbols bytes, each with its best channel count.
        std::size_t pos = 0;
        for (;;) {
            const std::size_t n = std::min(blockSymbols, size - pos);
            const bool more = pos + n < size;
            const AudioPlan plan = BestAudioPlan(data + pos, n, more, options, st, audioBits);
            PutAudioBlock(w, plan, more, options, st, stats);
            pos += n;
            if (!more)
                break;
        }
        w.Finish();
        return out;
    }

    // LZ blocks of blockSymbols tokens; in Auto, each block's bytes are also
    // tried in audio mode, and coded so when that is smaller.
    Tokenizer tokenizer(data, size, options);
    std::vector<Token> block;
    for (;;) {
        const std::size_t start = tokenizer.Position();
        const Tokenizer::History history = tokenizer.SaveHistory();
        block.clear();
        while (block.size() < blockSymbols && !tokenizer.Done())
            block.push_back(tokenizer.Next());
        const bool more = !tokenizer.Done();

        if (options.audio == AudioMode::Auto && !block.empty()) {
            StreamState scratch = st;
            const std::uint64_t lzBits = CountBits(
                [&](BitWriter &counter) { PutLzBlock(counter, block, more, options, scratch, nullptr); });
            const AudioPlan plan =
                BestAudioPlan(data + start, tokenizer.Position() - start, more, options, st, audioBits);
            if (audioBits < lzBits) {
                tokenizer.RestoreHistory(history);
                PutAudioBlock(w, plan, more, options, st, stats);
                if (!more)
                    break;
                continue;
            }
        }
        PutLzBlock(w, block, more, options, st, stats);
        if (!more)
            break;
    }
    w.Finish();
    return out;
}

Bytes EncodeLz(const std::uint8_t *data, std::size_t size, const EncoderOptions &options,
               EncoderStats *stats)
{
    EncoderOptions lz = options;
    lz.audio = AudioMode::Never;
    return Encode(data, size, lz, stats);
}

}  // namespace qmpack
