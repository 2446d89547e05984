// encoder.cpp - the stream, block after block: tokens from the match finder
// (or bytes for audio mode) gathered into blocks, each written by the block
// writer and handed to the sink as soon as it is finished.
#include "packer/encoder.h"

#include <algorithm>
#include <vector>

#include "packer/block_writer.h"
#include "packer/match_finder.h"

namespace qmpack {

namespace {

// Fills up to n bytes from the source; fewer only at the end of the input.
std::size_t ReadFull(const ByteSource &source, std::uint8_t *data, std::size_t n)
{
    std::size_t got = 0;
    while (got < n) {
        const std::size_t piece = source(data + got, n - got);
        if (piece == 0)
            break;
        got += piece;
    }
    return got;
}

// Hands the whole bytes written so far to the sink.
bool Flush(Bytes &out, const ByteSink &sink)
{
    const bool goOn = out.empty() || sink(out.data(), out.size());
    out.clear();
    return goOn;
}

// Blocks of blockSymbols bytes, each in audio mode with its best channel count.
bool EncodeAudio(const ByteSource &source, const ByteSink &sink, const EncoderOptions &options,
                 EncoderStats *stats)
{
    Bytes out;
    BitWriter w(&out);
    StreamState st;
    const std::size_t blockSymbols = std::max<std::size_t>(options.blockSymbols, 1);
    Bytes block(blockSymbols), ahead(blockSymbols);
    block.resize(ReadFull(source, block.data(), blockSymbols));
    std::uint64_t bits = 0;
    for (;;) {
        // Whether more follows decides the block's last symbol.
        ahead.resize(blockSymbols);
        ahead.resize(block.size() == blockSymbols ? ReadFull(source, ahead.data(), blockSymbols) : 0);
        const bool more = !ahead.empty();
        const AudioPlan plan = BestAudioPlan(block.data(), block.size(), more, options, st, bits);
        PutAudioBlock(w, plan, more, options, st, stats);
        if (!more)
            break;
        if (!Flush(out, sink))
            return false;
        block.swap(ahead);
    }
    w.Finish();
    return Flush(out, sink);
}

// LZ blocks of blockSymbols tokens; in Auto, each block's bytes are also
// tried in audio mode, and coded so when that is smaller.
bool EncodeLzOrAuto(const ByteSource &source, const ByteSink &sink, const EncoderOptions &options,
                    EncoderStats *stats)
{
    Bytes out;
    BitWriter w(&out);
    StreamState st;
    const std::size_t blockSymbols = std::max<std::size_t>(options.blockSymbols, 1);
    const bool automatic = options.audio == AudioMode::Auto;
    std::uint64_t audioBits = 0;
    MatchFinder finder(source, options);
    std::vector<Token> block;
    block.reserve(std::min<std::size_t>(blockSymbols, 0x10000));
    for (;;) {
        const std::size_t start = finder.Position();
        const MatchFinder::History history = finder.SaveHistory();
        block.clear();
        if (automatic) {
            // The block's bytes stay in memory for the audio trial.
            finder.HoldFrom(start);
            while (block.size() < blockSymbols && !finder.Done() &&
                   finder.Position() - start < MatchFinder::kMaxHeldBlock)
                block.push_back(finder.Next());
        } else {
            while (block.size() < blockSymbols && !finder.Done())
                block.push_back(finder.Next());
        }
        const bool more = !finder.Done();

        bool coded = false;
        if (automatic && !block.empty()) {
            StreamState scratch = st;
            const std::uint64_t lzBits = CountBits(
                [&](BitWriter &counter) { PutLzBlock(counter, block, more, options, scratch, nullptr); });
            // Audio mode spends at least a bit on every byte: a block LZ
            // codes in fewer bits needs no trial.
            const std::size_t bytes = finder.Position() - start;
            const AudioPlan plan = lzBits > bytes ? BestAudioPlan(finder.HeldBytes(start), bytes, more, options,
                                                                  st, audioBits)
                                                  : AudioPlan{};
            if (lzBits > bytes && audioBits < lzBits) {
                finder.RestoreHistory(history);
                PutAudioBlock(w, plan, more, options, st, stats);
                coded = true;
            }
        }
        if (!coded)
            PutLzBlock(w, block, more, options, st, stats);
        if (!more)
            break;
        if (!Flush(out, sink))
            return false;
    }
    w.Finish();
    return Flush(out, sink);
}

}  // namespace

bool EncodeStream(const ByteSource &source, const ByteSink &sink, const EncoderOptions &options,
                  EncoderStats *stats)
{
    if (options.audio == AudioMode::Always)
        return EncodeAudio(source, sink, options, stats);
    return EncodeLzOrAuto(source, sink, options, stats);
}

Bytes Encode(const std::uint8_t *data, std::size_t size, const EncoderOptions &options,
             EncoderStats *stats)
{
    std::size_t at = 0;
    const ByteSource source = [&](std::uint8_t *to, std::size_t n) {
        n = std::min(n, size - at);
        std::copy(data + at, data + at + n, to);
        at += n;
        return n;
    };
    Bytes stream;
    const ByteSink sink = [&](const std::uint8_t *bytes, std::size_t n) {
        stream.insert(stream.end(), bytes, bytes + n);
        return true;
    };
    EncodeStream(source, sink, options, stats);
    return stream;
}

Bytes EncodeLz(const std::uint8_t *data, std::size_t size, const EncoderOptions &options,
               EncoderStats *stats)
{
    EncoderOptions lz = options;
    lz.audio = AudioMode::Never;
    return Encode(data, size, lz, stats);
}

}  // namespace qmpack
