// tools/Find_circular_edgeVotes.h: private to the Find_circular_edge unit. The
// accumulator and the votes of the hit triples.
#pragma once
#include "Find_circular_edge.h"
#include "Find_circular_edgeCount.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace circular_edge {

using i64 = std::int64_t;

// The accumulator: entries in the order they were first voted for, found again
// through an open-addressing index, so a vote costs one lookup whatever the
// number of entries, and the order (which decides ties) is that of a plain list.
// A vote of many triples into an empty table is held as counted partitions
// instead; the entries are made from them only when someone reads them or
// votes again (so reading them is not safe from two threads at once).
class VoteTable {
public:
    void Clear()
    {
        entries_.clear();
        index_.assign(kInitialSlots, 0);
        counted_.Clear();
    }

    bool Empty() const { return entries_.empty() && counted_.Empty(); }
    std::size_t Distinct() const { return counted_.Empty() ? entries_.size() : counted_.Distinct(); }
    // The most votes; among equal votes the entry entered last.
    CircleVote Winner() const;
    // Where an empty table takes the vote of many triples at once.
    CircleCount& Counted() { return counted_; }
    // Storage for the pair terms of a vote, kept from one search to the next.
    PairTerms& Terms() { return terms_; }

    // Adds votes to the circle, entering it at the end when it is new; returns
    // its entry number.
    std::size_t Vote(i64 x, i64 y, i64 r, std::int32_t votes)
    {
        Settle();
        const std::uint64_t h = Hash(x, y, r);
        const std::uint64_t tag = h >> 32;
        const std::size_t mask = index_.size() - 1;
        for (std::size_t slot = h & mask;; slot = (slot + 1) & mask) {
            const std::uint64_t s = index_[slot];
            if (s == 0)
                return Insert(slot, tag, x, y, r, votes);
            if (s >> 32 == tag) {
                const std::size_t entry = (s & 0xFFFFFFFF) - 1;
                CircleVote& e = entries_[entry];
                if (e.centreX == x && e.centreY == y && e.radius == r) {
                    e.votes += votes;
                    return entry;
                }
            }
        }
    }

    void AddVotes(std::size_t entry, std::int32_t votes) { entries_[entry].votes += votes; }

    // Takes in a table filled from later triples: its new circles follow ours in
    // its own order, which is where a single pass over all triples puts them.
    void Append(const VoteTable& later)
    {
        for (const CircleVote& e : later.Entries())
            Vote(e.centreX, e.centreY, e.radius, e.votes);
    }

    const std::vector<CircleVote>& Entries() const
    {
        Settle();
        return entries_;
    }

private:
    static constexpr std::size_t kInitialSlots = 1024;

    static std::uint64_t Hash(i64 x, i64 y, i64 r)
    {
        std::uint64_t h = static_cast<std::uint64_t>(x) * 0x9E3779B97F4A7C15ull +
                          static_cast<std::uint64_t>(y) * 0xC2B2AE3D27D4EB4Full +
                          static_cast<std::uint64_t>(r) * 0x165667B19E3779F9ull;
        h ^= h >> 31;
        h *= 0xBF58476D1CE4E5B9ull;
        h ^= h >> 29;
        return h;
    }

    [[gnu::noinline]] std::size_t Insert(std::size_t slot, std::uint64_t tag, i64 x, i64 y, i64 r,
                                         std::int32_t votes)
    {
        entries_.push_back({x, y, r, votes});
        index_[slot] = tag << 32 | entries_.size();
        if (entries_.size() * 2 > index_.size())
            Grow();
        return entries_.size() - 1;
    }

    // Turns counted votes into entries, in the order of their first votes.
    void Settle() const;

    void Grow() const
    {
        index_.assign(index_.size() * 2, 0);
        const std::size_t mask = index_.size() - 1;
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            const CircleVote& e = entries_[i];
            const std::uint64_t h = Hash(e.centreX, e.centreY, e.radius);
            std::size_t slot = h & mask;
            while (index_[slot] != 0)
                slot = (slot + 1) & mask;
            index_[slot] = (h >> 32) << 32 | (i + 1);
        }
    }

    // Mutable: reading the entries may first make them from the counted votes.
    mutable std::vector<CircleVote> entries_;
    mutable std::vector<std::uint64_t> index_ =
        std::vector<std::uint64_t>(kInitialSlots, 0);  // tag, entry + 1
    mutable CircleCount counted_;
    PairTerms terms_;
};

// Every vote of a run is relative to its search centre (cx, cy).
void VoteCoefficients(VoteTable& table, int cx, int cy, i64 D, i64 E, i64 F);
void VoteThree(VoteTable& table, int cx, int cy, i64 x0, i64 y0, i64 x1, i64 y1, i64 x2, i64 y2);
// alongside (which may be empty) runs once on the calling thread, when its
// own share of the vote is done.
void VoteTriples(VoteTable& table, int cx, int cy, std::span<const SpokeHit> hits,
                 const std::function<void()>& alongside = {});

}  // namespace circular_edge
