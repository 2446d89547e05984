// match_finder.h - the encoder's choice of tokens, over input that arrives in
// pieces.
//
// The finder holds a sliding buffer: the 1 MiB window behind the current
// position, the bytes of the block being tokenized when the caller holds
// them (HoldFrom), and a stretch of input ahead.  Positions count from the
// start of the input.  Input is pulled from the source whenever fewer than
// kLookahead bytes lie ahead, so every match search sees as much ahead as it
// can use, and the tokens do not depend on how the source cuts its pieces.
//
// At each position the finder weighs:
//   - repeating the last match exactly (256), when its length still fits;
//   - each of the four last distances (257-260): length = slot base + 2 +
//     bits, + 1 each from distances 0x101, 0x2000 and 0x40000 up, so a far
//     distance needs a longer match;
//   - the longest hash-chain match (270-297): length = slot base + 3 + bits,
//     + 1 each from 0x2000 and 0x40000 up;
//   - a length-2 match up to 256 back (261-268);
// and takes the best by a rough bit-cost score, or a literal.  With lazy
// matching, a match shorter than maxLazy gives way to a literal when the
// next position scores clearly better; that next position's search is kept
// for the following token.  In a long run of literals the finder may search
// only every eighth position (EncoderOptions::skipAfterLiterals).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "packer/encoder.h"

namespace qmpack {

enum class TokenKind : std::uint8_t { Literal, RepeatLast, Old, Short, Long };

struct Token {
    TokenKind kind;
    std::uint8_t oldIndex;    // 0 = the latest distance
    std::uint16_t length;     // or the literal byte
    std::uint32_t distance;
};

// Distance thresholds where a match must grow by one to use them.
inline std::uint32_t Bonus2(std::uint32_t d) { return (d >= 0x2000) + (d >= 0x40000); }
inline std::uint32_t Bonus3(std::uint32_t d) { return (d >= 0x101) + Bonus2(d); }

class MatchFinder {
public:
    static constexpr std::uint32_t kWindow = 0x100000;
    // Bytes a block may span while it is held; a held block ends there.
    static constexpr std::size_t kMaxHeldBlock = std::size_t{4} << 20;

    MatchFinder(const ByteSource &source, const EncoderOptions &options);

    // True when every input byte has become a token (may pull input).
    bool Done();
    std::size_t Position() const { return pos_; }

    // Keeps the bytes from `position` (not before the current one's window)
    // in memory until the next call, so a block can be looked at whole.
    void HoldFrom(std::size_t position) { holdFrom_ = position; }
    // The bytes from a held position on.
    const std::uint8_t *HeldBytes(std::size_t position) const { return At(position); }

    // The match history the decoder keeps (the last four distances, the last
    // match).  A block the encoder codes in audio mode after all leaves the
    // decoder's history as it was, so the finder's goes back too.
    struct History {
        std::uint32_t old[4];
        std::uint32_t matchCount, lastDistance, lastLength;
    };
    History SaveHistory() const;
    void RestoreHistory(const History &h);

    // The next token; only when !Done().
    Token Next();

private:
    struct Candidate {
        TokenKind kind = TokenKind::Literal;
        std::uint8_t oldIndex = 0;
        std::uint32_t length = 0;
        std::uint32_t distance = 0;
        int score = 0;
    };

    static constexpr std::size_t kLookahead = 4096;
    static constexpr std::size_t kSlack = 16;  // readable bytes past the end, for word compares

    const std::uint8_t *At(std::size_t position) const { return buffer_.data() + (position - base_); }
    void Fill();
    std::uint32_t Hash(std::size_t i) const;
    void Insert(std::size_t i);
    std::uint32_t MatchLength(std::size_t i, std::uint32_t distance, std::uint32_t limit) const;
    std::uint32_t Limit(std::size_t i, std::uint32_t cap) const;
    Candidate Best(std::size_t i, int chain) const;
    Token Take(const Candidate &c, bool firstInserted);
    Token Literal();

    const ByteSource &source_;
    EncoderOptions options_;
    std::uint32_t maxDistance_;
    std::uint32_t hashBits_;

    std::vector<std::uint8_t> buffer_;  // input from base_ to end_, then kSlack zeros
    std::size_t base_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    std::size_t holdFrom_ = SIZE_MAX;

    std::vector<std::uint32_t> head_;  // hash -> position + 1
    std::vector<std::uint32_t> prev_;  // position mod window -> earlier position + 1
    std::vector<std::uint32_t> pair_;  // two bytes -> latest position + 1
    std::size_t pos_ = 0;
    std::uint32_t old_[4] = {};
    std::uint32_t matchCount_ = 0;
    std::uint32_t lastDistance_ = 0;
    std::uint32_t lastLength_ = 0;

    // The search at pos_ made while deciding the previous token lazily.
    bool haveNext_ = false;
    Candidate next_;
    std::uint32_t literalRun_ = 0;  // literals since the last match
};

}  // namespace qmpack
