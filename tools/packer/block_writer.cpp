// block_writer.cpp - table reads, LZ blocks and audio blocks (see
// block_writer.h).
#include "packer/block_writer.h"

#include <algorithm>
#include <span>

#include "packer/length_slots.h"

namespace qmpack {

namespace {

constexpr int kBitLengthSymbols = 19;

struct SymbolCounts {
    std::vector<std::uint32_t> main = std::vector<std::uint32_t>(kMainSymbols, 0);
    std::vector<std::uint32_t> distance = std::vector<std::uint32_t>(kDistanceSymbols, 0);
    std::vector<std::uint32_t> length = std::vector<std::uint32_t>(kLengthSymbols, 0);
};

void CountToken(const Token &t, SymbolCounts &c)
{
    switch (t.kind) {
    case TokenKind::Literal:
        ++c.main[t.length];
        break;
    case TokenKind::RepeatLast:
        ++c.main[256];
        break;
    case TokenKind::Old:
        ++c.main[257 + t.oldIndex];
        ++c.length[LengthSlot(t.length - Bonus3(t.distance) - 2)];
        break;
    case TokenKind::Short:
        ++c.main[261 + SlotOf(kShortSlots, t.distance - 1)];
        break;
    case TokenKind::Long:
        ++c.main[270 + LengthSlot(t.length - Bonus2(t.distance) - 3)];
        ++c.distance[DistanceSlot(t.distance - 1)];
        break;
    }
}

void PutToken(const Token &t, BitWriter &w, const Code &main, const Code &distance, const Code &length)
{
    switch (t.kind) {
    case TokenKind::Literal:
        main.Put(w, t.length);
        break;
    case TokenKind::RepeatLast:
        main.Put(w, 256);
        break;
    case TokenKind::Old: {
        main.Put(w, 257 + t.oldIndex);
        const std::uint32_t v = t.length - Bonus3(t.distance) - 2;
        const int k = LengthSlot(v);
        length.Put(w, k);
        w.Put(v - kLengthSlots.base[k], kLengthSlots.bits[k]);
        break;
    }
    case TokenKind::Short: {
        const std::uint32_t v = t.distance - 1;
        const int k = SlotOf(kShortSlots, v);
        main.Put(w, 261 + k);
        w.Put(v - kShortSlots.base[k], kShortSlots.bits[k]);
        break;
    }
    case TokenKind::Long: {
        const std::uint32_t v = t.length - Bonus2(t.distance) - 3;
        const int k = LengthSlot(v);
        main.Put(w, 270 + k);
        w.Put(v - kLengthSlots.base[k], kLengthSlots.bits[k]);
        const std::uint32_t dv = t.distance - 1;
        const int dk = DistanceSlot(dv);
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
    case TokenKind::Literal: ++s.literals; return;
    case TokenKind::RepeatLast: ++s.repeatLast; break;
    case TokenKind::Old: ++s.oldDistance; break;
    case TokenKind::Short: ++s.shortDistance; break;
    case TokenKind::Long: ++s.longMatches; break;
    }
    s.distance101 += t.distance >= 0x101;
    s.distance2000 += t.distance >= 0x2000;
    s.distance40000 += t.distance >= 0x40000;
    s.longestDistance = std::max(s.longestDistance, t.distance);
    s.longestLength = std::max<std::uint32_t>(s.longestLength, t.length);
}

}  // namespace

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

}  // namespace qmpack
