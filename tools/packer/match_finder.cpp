// match_finder.cpp - hash chains over a sliding buffer (see match_finder.h).
#include "packer/match_finder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "packer/length_slots.h"

namespace qmpack {

namespace {

// Pieces pulled from the source at most; the buffer holds the window, a held
// block and two of these.
constexpr std::size_t kPiece = std::size_t{1} << 20;

std::uint64_t Load64(const std::uint8_t *p)
{
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

}  // namespace

MatchFinder::MatchFinder(const ByteSource &source, const EncoderOptions &options)
    : source_(source), options_(options),
      maxDistance_(std::min<std::uint32_t>(std::max<std::uint32_t>(options.maxDistance, 1), kWindow)),
      hashBits_(static_cast<std::uint32_t>(std::clamp(options.hashBits, 12, 20))),
      buffer_(kWindow + kMaxHeldBlock + 2 * kPiece + kSlack, 0),
      head_(std::size_t{1} << hashBits_, 0), prev_(kWindow, 0), pair_(65536, 0)
{
    Fill();
}

MatchFinder::History MatchFinder::SaveHistory() const
{
    return {{old_[0], old_[1], old_[2], old_[3]}, matchCount_, lastDistance_, lastLength_};
}

void MatchFinder::RestoreHistory(const History &h)
{
    std::copy(h.old, h.old + 4, old_);
    matchCount_ = h.matchCount;
    lastDistance_ = h.lastDistance;
    lastLength_ = h.lastLength;
    haveNext_ = false;  // it was searched with the other history
}

// Pulls input until kLookahead bytes lie ahead of pos_ or the input ends.
// When the buffer is short of room, the bytes still needed (the window behind
// pos_, a held block) move to its front.
void MatchFinder::Fill()
{
    const std::size_t capacity = buffer_.size() - kSlack;
    while (!eof_ && end_ - pos_ < kLookahead) {
        if (capacity - (end_ - base_) < kPiece) {
            // The window behind pos_ and a held block stay; the encoder
            // keeps a held block short enough that both fit.
            std::size_t keep = std::min(pos_ > kWindow ? pos_ - kWindow : 0, holdFrom_);
            keep = std::max({keep, base_, end_ + kPiece > capacity ? end_ + kPiece - capacity : 0});
            std::memmove(buffer_.data(), At(keep), end_ - keep);
            base_ = keep;
        }
        std::uint8_t *to = buffer_.data() + (end_ - base_);
        const std::size_t room = capacity - (end_ - base_);
        const std::size_t got = source_(to, std::min(room, kPiece));
        if (got == 0)
            eof_ = true;
        end_ += got;
    }
    // Word compares may read a little past the end: zeros there.
    std::memset(buffer_.data() + (end_ - base_), 0, kSlack);
}

bool MatchFinder::Done()
{
    Fill();
    return pos_ >= end_;
}

std::uint32_t MatchFinder::Hash(std::size_t i) const
{
    const std::uint8_t *p = At(i);
    const std::uint32_t v = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
    return (v * 2654435761u) >> (32 - hashBits_);
}

void MatchFinder::Insert(std::size_t i)
{
    if (i + 2 < end_) {
        const std::uint32_t h = Hash(i);
        prev_[i & (kWindow - 1)] = head_[h];
        head_[h] = static_cast<std::uint32_t>(i + 1);
    }
    if (i + 1 < end_) {
        const std::uint8_t *p = At(i);
        pair_[(p[0] << 8) | p[1]] = static_cast<std::uint32_t>(i + 1);
    }
}

std::uint32_t MatchFinder::MatchLength(std::size_t i, std::uint32_t distance, std::uint32_t limit) const
{
    // Bytes from before the start of the input read as zeros in the
    // decoder's fresh window; the encoder simply never reaches there.
    if (distance == 0 || distance > i)
        return 0;
    const std::uint8_t *a = At(i);
    const std::uint8_t *b = a - distance;
    std::uint32_t n = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // A limit never reaches past the input's end, and kSlack bytes
        // follow it: whole words may be read.
        while (n < limit) {
            if (const std::uint64_t diff = Load64(a + n) ^ Load64(b + n)) {
                n += static_cast<std::uint32_t>(std::countr_zero(diff)) >> 3;
                return std::min(n, limit);
            }
            n += 8;
        }
        return limit;
    } else {
        while (n < limit && a[n] == b[n])
            ++n;
        return n;
    }
}

std::uint32_t MatchFinder::Limit(std::size_t i, std::uint32_t cap) const
{
    return static_cast<std::uint32_t>(std::min<std::size_t>(cap, end_ - i));
}

MatchFinder::Candidate MatchFinder::Best(std::size_t i, int chain) const
{
    Candidate best;
    auto consider = [&](Candidate c) {
        if (c.length > 0 && c.score > best.score)
            best = c;
    };

    // Repeat the last match exactly.
    if (lastLength_ > 0 && MatchLength(i, lastDistance_, Limit(i, lastLength_)) == lastLength_)
        consider({TokenKind::RepeatLast, 0, lastLength_, lastDistance_, static_cast<int>(lastLength_) * 8 - 6});

    // The four last distances.
    for (int j = 0; j < 4; ++j) {
        const std::uint32_t d = old_[(matchCount_ - (j + 1)) & 3];
        const std::uint32_t bonus = Bonus3(d);
        const std::uint32_t len = MatchLength(i, d, Limit(i, 257 + bonus));
        if (len >= 2 + bonus)
            consider({TokenKind::Old, static_cast<std::uint8_t>(j), len, d, static_cast<int>(len) * 8 - 10 - 2 * j});
    }

    // The hash chain.
    if (i + 2 < end_) {
        const std::uint8_t *here = At(i);
        const std::uint32_t nice = options_.niceLength ? options_.niceLength : UINT32_MAX;
        std::uint32_t candidate = head_[Hash(i)];
        std::uint32_t bestLen = 0, bestDist = 0;
        for (int steps = 0; candidate != 0 && steps < chain; ++steps) {
            const std::size_t c = candidate - 1;
            if (c >= i)
                break;
            const std::uint32_t d = static_cast<std::uint32_t>(i - c);
            if (d > maxDistance_)
                break;
            const std::uint32_t cap = Limit(i, 258 + Bonus2(d));
            if (cap > bestLen && At(c)[bestLen] == here[bestLen]) {
                const std::uint32_t len = MatchLength(i, d, cap);
                if (len > bestLen && len >= 3 + Bonus2(d)) {
                    bestLen = len;
                    bestDist = d;
                    if (len == cap || len >= nice)
                        break;
                }
            }
            const std::uint32_t next = prev_[c & (kWindow - 1)];
            if (next >= candidate)
                break;
            candidate = next;
        }
        if (bestLen > 0) {
            const int extra = 14 + static_cast<int>(DistanceSlotBits(bestDist - 1));
            consider({TokenKind::Long, 0, bestLen, bestDist, static_cast<int>(bestLen) * 8 - extra});
        }
    }

    // A pair up to 256 back.
    if (best.length == 0 && i + 1 < end_) {
        const std::uint8_t *p = At(i);
        const std::uint32_t at = pair_[(p[0] << 8) | p[1]];
        if (at != 0 && at - 1 < i && i - (at - 1) <= 256)
            consider({TokenKind::Short, 0, 2, static_cast<std::uint32_t>(i - (at - 1)), 4});
    }
    return best;
}

Token MatchFinder::Literal()
{
    const Token t{TokenKind::Literal, 0, *At(pos_), 0};
    ++pos_;
    ++literalRun_;
    return t;
}

Token MatchFinder::Next()
{
    Fill();
    const std::uint32_t skip = options_.skipAfterLiterals;
    if (skip && literalRun_ >= skip && !haveNext_ && ((literalRun_ - skip) & 7) != 0) {
        Insert(pos_);
        return Literal();
    }
    const Candidate best = haveNext_ ? next_ : Best(pos_, options_.maxChain);
    haveNext_ = false;
    if (options_.lazy && best.length > 0 && best.length < static_cast<std::uint32_t>(options_.maxLazy) &&
        pos_ + 1 < end_) {
        Insert(pos_);
        // A match in hand that is good already: a shorter look ahead.
        const bool good = options_.goodLength && best.length >= options_.goodLength;
        next_ = Best(pos_ + 1, good ? std::max(1, options_.maxChain / 4) : options_.maxChain);
        if (next_.score > best.score + 4) {
            haveNext_ = true;
            return Literal();
        }
        // pos_ is inserted; Take skips it.
        return Take(best, true);
    }
    return Take(best, false);
}

Token MatchFinder::Take(const Candidate &c, bool firstInserted)
{
    if (c.length == 0) {
        if (!firstInserted)
            Insert(pos_);
        return Literal();
    }
    for (std::size_t k = firstInserted ? 1 : 0; k < c.length; ++k)
        Insert(pos_ + k);
    pos_ += c.length;
    literalRun_ = 0;
    lastDistance_ = c.distance;
    lastLength_ = c.length;
    old_[matchCount_ & 3] = c.distance;
    ++matchCount_;
    return Token{c.kind, c.oldIndex, static_cast<std::uint16_t>(c.length), c.distance};
}

}  // namespace qmpack
