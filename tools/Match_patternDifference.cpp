// tools/Match_patternDifference.cpp: zero-angle columns, the sampled
// absolute difference on a 5-pixel lattice.
#include "Match_patternLanes.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace match_pattern {
namespace {

#if defined(__x86_64__)
// Lattice sums with AVX2 for the placements start[w] .. start[w] + 31:
// total[w][l] = sum over k of |at[k][start[w] + l] − value[k]|.
template <int Windows>
__attribute__((target("avx2"))) void SumWide(const std::uint8_t* const* at,
                                             const std::uint8_t* value, std::size_t samples,
                                             const int* start, int (&total)[Windows][kWideLanes])
{
    const __m256i zero = _mm256_setzero_si256();
    __m256i sum[Windows][4];  // 32-bit sums of lanes 0..7, 8..15, 16..23, 24..31
    for (int w = 0; w < Windows; ++w)
        for (int q = 0; q < 4; ++q)
            sum[w][q] = zero;
    for (std::size_t first = 0; first < samples; first += 257) {  // 257 · 255 fits 16 bits
        const std::size_t last = std::min(samples, first + 257);
        __m256i lo[Windows], hi[Windows];
        for (int w = 0; w < Windows; ++w)
            lo[w] = hi[w] = zero;
        for (std::size_t k = first; k < last; ++k) {
            const __m256i t = _mm256_set1_epi8(static_cast<char>(value[k]));
            for (int w = 0; w < Windows; ++w) {
                const __m256i v =
                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at[k] + start[w]));
                const __m256i d = _mm256_or_si256(_mm256_subs_epu8(v, t), _mm256_subs_epu8(t, v));
                lo[w] = _mm256_add_epi16(lo[w], _mm256_unpacklo_epi8(d, zero));
                hi[w] = _mm256_add_epi16(hi[w], _mm256_unpackhi_epi8(d, zero));
            }
        }
        for (int w = 0; w < Windows; ++w) {
            // Unpacking works within 128-bit halves: lo holds lanes 0..7 and
            // 16..23, hi holds 8..15 and 24..31.
            const __m256i first16 = _mm256_permute2x128_si256(lo[w], hi[w], 0x20);
            const __m256i last16 = _mm256_permute2x128_si256(lo[w], hi[w], 0x31);
            sum[w][0] = _mm256_add_epi32(sum[w][0], _mm256_cvtepu16_epi32(_mm256_castsi256_si128(first16)));
            sum[w][1] = _mm256_add_epi32(sum[w][1], _mm256_cvtepu16_epi32(_mm256_extracti128_si256(first16, 1)));
            sum[w][2] = _mm256_add_epi32(sum[w][2], _mm256_cvtepu16_epi32(_mm256_castsi256_si128(last16)));
            sum[w][3] = _mm256_add_epi32(sum[w][3], _mm256_cvtepu16_epi32(_mm256_extracti128_si256(last16, 1)));
        }
    }
    for (int w = 0; w < Windows; ++w)
        for (int q = 0; q < 4; ++q)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(total[w] + 8 * q), sum[w][q]);
}

// |I − value| in 32 lanes from at on.
__attribute__((target("avx2"), always_inline)) inline __m256i Difference32(const std::uint8_t* at,
                                                                           std::uint8_t value)
{
    const __m256i t = _mm256_set1_epi8(static_cast<char>(value));
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    return _mm256_or_si256(_mm256_subs_epu8(v, t), _mm256_subs_epu8(t, v));
}

// What a column scan needs of the kernel.
struct ShortLattice {
    int nI = 0, nJ = 0;                  // lattice columns and rows, 5 pixels apart
    const std::uint8_t* value = nullptr;  // nI · nJ template values, column after column
    const float* scoreOf = nullptr;       // [d]: the score of distance d
    const int* lastEqual = nullptr;       // [d]: the largest d' >= d with the same score
};

// The best placement of the column x, oy <= y < yEnd (yEnd >= 32) for
// a lattice of at most 257 samples, whose sums fit 16 bits: windows of 32
// placements, the last moved back to end at yEnd. As in Evaluate, a window's
// best score is that of its least sum, and its first placement scoring that
// much is the first whose sum is below 255 · (lastEqual[d] + 1).
__attribute__((target("avx2"))) ColumnBest ScanShort(const GrayImage& I, int x, int oy, int yEnd,
                                                     const ShortLattice& lattice)
{
    // [32 − skip, 64 − skip): 0xffff on the first skip lanes, 0 on the rest.
    static const std::uint16_t kSkip[64] = {
        0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff,
        0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff,
        0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff};
    const __m256i zero = _mm256_setzero_si256(), ones = _mm256_set1_epi8(1);
    ColumnBest best;
    for (int y = oy; y < yEnd; y += kWideLanes) {
        const int start = std::min(y, yEnd - kWideLanes), skip = y - start;
        __m256i lo = zero, hi = zero;
        const std::uint8_t* value = lattice.value;
        for (int i = 0; i < lattice.nI; ++i) {
            const std::uint8_t* column = I[x + 5 * i] + start;
            int j = 0;
            // Two samples at a time: their bytes interleaved, lane by lane, and
            // each pair added into 16 bits by one multiply-add with ones.
            for (; j + 2 <= lattice.nJ; j += 2, value += 2) {
                const __m256i a = Difference32(column + 5 * j, value[0]);
                const __m256i b = Difference32(column + 5 * j + 5, value[1]);
                lo = _mm256_add_epi16(lo, _mm256_maddubs_epi16(_mm256_unpacklo_epi8(a, b), ones));
                hi = _mm256_add_epi16(hi, _mm256_maddubs_epi16(_mm256_unpackhi_epi8(a, b), ones));
            }
            if (j < lattice.nJ) {
                const __m256i a = Difference32(column + 5 * j, *value++);
                lo = _mm256_add_epi16(lo, _mm256_unpacklo_epi8(a, zero));
                hi = _mm256_add_epi16(hi, _mm256_unpackhi_epi8(a, zero));
            }
        }
        // lo holds lanes 0..7 and 16..23, hi 8..15 and 24..31: put them in order,
        // the lanes an earlier window scored out of the way.
        const __m256i* skipped = reinterpret_cast<const __m256i*>(kSkip + 32 - skip);
        const __m256i first = _mm256_or_si256(_mm256_permute2x128_si256(lo, hi, 0x20),
                                              _mm256_loadu_si256(skipped));
        const __m256i last = _mm256_or_si256(_mm256_permute2x128_si256(lo, hi, 0x31),
                                             _mm256_loadu_si256(skipped + 1));
        const __m256i both = _mm256_min_epu16(first, last);
        const __m128i least16 =
            _mm_minpos_epu16(_mm_min_epu16(_mm256_castsi256_si128(both),
                                           _mm256_extracti128_si256(both, 1)));
        const int least = _mm_cvtsi128_si32(least16) & 0xffff;
        const std::size_t d = static_cast<std::size_t>(least / 255);
        if (!(lattice.scoreOf[d] > best.score))  // strictly: the first of equal scores stays
            continue;
        const int below = std::min(255 * (lattice.lastEqual[d] + 1) - 1, 0xffff);
        const __m256i bar = _mm256_set1_epi16(static_cast<short>(below));
        const __m256i inFirst = _mm256_cmpeq_epi16(_mm256_min_epu16(first, bar), first);
        const __m256i inLast = _mm256_cmpeq_epi16(_mm256_min_epu16(last, bar), last);
        // packs interleaves the 128-bit halves: lanes 0..7, 16..23, 8..15, 24..31.
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi16(inFirst, inLast), 0xd8);
        const unsigned lanes = static_cast<unsigned>(_mm256_movemask_epi8(packed)) &
                               ~((1u << skip) - 1u);
        best.y = start + __builtin_ctz(lanes);
        best.score = lattice.scoreOf[d];
    }
    return best;
}

#endif  // __x86_64__

class DifferenceKernel final : public ColumnKernel {
public:
    DifferenceKernel(const GrayImage& T, int tw, int th, int W, int H)
        : W_(W), H_(H), th_(th), iMax_((tw - 1) / 5 * 5), jMax_((th - 1) / 5 * 5), level_(ActiveVectorLevel())
    {
        nI_ = (tw - 1) / 5 + 1;
        nJ_ = (th - 1) / 5 + 1;
        for (int i = 0; i < tw; i += 5)
            for (int j = 0; j < th; j += 5) {
#if defined(__x86_64__)
                samples_.push_back({i, j, _mm_set1_epi8(static_cast<char>(T[i][j])), T[i][j]});
#else
                samples_.push_back({i, j, T[i][j]});
#endif
                values_.push_back(T[i][j]);
            }
        // d = sum / 255 is a whole number no larger than the sample count, so
        // every score 1 − d / N there can be is computed here, once.
        const float N = static_cast<float>((tw / 5) * (th / 5));
        for (std::size_t d = 0; d <= samples_.size(); ++d)
            scoreOf_.push_back(1.0f - static_cast<float>(d) / N);
        lastEqual_.resize(scoreOf_.size());
        for (std::size_t d = scoreOf_.size(); d-- > 0;)
            lastEqual_[d] = d + 1 < scoreOf_.size() && scoreOf_[d + 1] == scoreOf_[d]
                                ? lastEqual_[d + 1]
                                : static_cast<int>(d);
        readLeft = 0;
        readRight = iMax_;
        readTop = 0;
        readBottom = th - 1 + jMax_;
    }

    ColumnBest Evaluate(const GrayImage& I, int x, int oy) const override
    {
        ColumnBest best;
        // A placement fits when its last lattice column and row are inside.
        if (static_cast<long long>(x) + iMax_ >= W_)
            return best;
        const int yEnd = static_cast<int>(std::min<long long>(oy + th_, H_ - jMax_));
#if defined(__x86_64__)
        const bool wide = level_ >= VectorLevel::Avx2 && yEnd - oy >= kWideLanes;
        // A column cut short by the image's bottom edge takes a window moved up
        // over the placements above it, which are left out of its scan.
        if (level_ >= VectorLevel::Avx2 && samples_.size() <= 257 && yEnd >= kWideLanes &&
            yEnd > oy)
            return ScanShort(I, x, oy, yEnd,
                             {nI_, nJ_, values_.data(), scoreOf_.data(), lastEqual_.data()});
        // The samples' addresses in this column: on the stack for any usual
        // template (a 160 x 160 one has 1024 samples).
        constexpr std::size_t kOnStack = 1024;
        const std::uint8_t* onStack[kOnStack];
        thread_local std::vector<const std::uint8_t*> onHeap;
        const std::uint8_t** at = onStack;
        if (wide) {
            if (samples_.size() > kOnStack) {
                onHeap.resize(samples_.size());
                at = onHeap.data();
            }
            for (std::size_t k = 0; k < samples_.size(); ++k)
                at[k] = I[x + samples_[k].i] + samples_[k].j;
        }
#endif
        int sums[kChunk];
        for (int c0 = oy; c0 < yEnd; c0 += kChunk) {
            const int count = std::min(kChunk, yEnd - c0);
            int tail = count;  // placements left to sum one at a time
#if defined(__x86_64__)
            if (level_ >= VectorLevel::Baseline) {
                int starts[kMaxWindows];
                const int windows =
                    WindowStarts(c0, count, oy, wide ? kWideLanes : kLanes, starts, tail);
                if (wide) {
                    if (windows == 2) {
                        int total[2][kWideLanes];
                        SumWide<2>(at, values_.data(), samples_.size(), starts, total);
                        KeepInChunk(total, starts, c0, count, sums);
                    } else {
                        int total[1][kWideLanes];
                        SumWide<1>(at, values_.data(), samples_.size(), starts, total);
                        KeepInChunk(total, starts, c0, count, sums);
                    }
                } else {
                    int w = 0;
                    for (; w + 2 <= windows; w += 2)
                        SumWindows<2>(I, x, starts + w, c0, count, sums);
                    if (w < windows)
                        SumWindows<1>(I, x, starts + w, c0, count, sums);
                }
            }
#endif
            for (int y = c0 + count - tail; y < c0 + count; ++y)
                sums[y - c0] = SumOne(I, x, y);
            // The score falls as d = sum / 255 rises, so the chunk's best score is
            // that of its smallest sum, and its first placement scoring that much
            // is the first whose d lies in the run of d that give equal scores.
            int least = sums[0];
            for (int k = 1; k < count; ++k)
                least = std::min(least, sums[k]);
            const std::size_t d = static_cast<std::size_t>(least / 255);
            if (scoreOf_[d] > best.score) {  // strictly: the first of equal scores stays
                const int limit = 255 * (lastEqual_[d] + 1);
                for (int k = 0; k < count; ++k)
                    if (sums[k] < limit) {
                        best.y = c0 + k;
                        best.score = scoreOf_[d];
                        break;
                    }
            }
        }
        return best;
    }

private:
    struct Sample {
        int i, j;
#if defined(__x86_64__)
        __m128i broadcast;  // t in every byte
#endif
        std::uint8_t t;
    };

    int SumOne(const GrayImage& I, int x, int y) const
    {
        int sum = 0;
        for (const Sample& s : samples_)
            sum += std::abs(I[x + s.i][y + s.j] - s.t);
        return sum;
    }

#if defined(__x86_64__)
    // Lattice sums of the placements start[w] .. start[w] + 15 for Windows
    // windows, stored for those that lie in the chunk [c0, c0 + count).
    template <int Windows>
    void SumWindows(const GrayImage& I, int x, const int* start, int c0, int count, int* sums) const
    {
        int total[Windows][kLanes] = {};
        const __m128i zero = _mm_setzero_si128();
        // 16-bit lanes hold 257 differences of up to 255 before they must be emptied.
        constexpr std::size_t kBatch = 257;
        for (std::size_t first = 0; first < samples_.size(); first += kBatch) {
            const std::size_t last = std::min(samples_.size(), first + kBatch);
            __m128i lo[Windows], hi[Windows];
            for (int w = 0; w < Windows; ++w)
                lo[w] = hi[w] = zero;
            for (std::size_t k = first; k < last; ++k) {
                const Sample& s = samples_[k];
                const std::uint8_t* column = I[x + s.i] + s.j;
                for (int w = 0; w < Windows; ++w) {
                    const __m128i v =
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(column + start[w]));
                    const __m128i d = AbsDiff(v, s.broadcast);
                    lo[w] = _mm_add_epi16(lo[w], _mm_unpacklo_epi8(d, zero));
                    hi[w] = _mm_add_epi16(hi[w], _mm_unpackhi_epi8(d, zero));
                }
            }
            for (int w = 0; w < Windows; ++w) {
                int* out = total[w];
                const __m128i parts[4] = {_mm_unpacklo_epi16(lo[w], zero), _mm_unpackhi_epi16(lo[w], zero),
                                          _mm_unpacklo_epi16(hi[w], zero), _mm_unpackhi_epi16(hi[w], zero)};
                for (int q = 0; q < 4; ++q) {
                    __m128i* at = reinterpret_cast<__m128i*>(out + 4 * q);
                    _mm_storeu_si128(at, _mm_add_epi32(_mm_loadu_si128(at), parts[q]));
                }
            }
        }
        KeepInChunk(total, start, c0, count, sums);
    }
#endif

    std::vector<Sample> samples_;
    std::vector<std::uint8_t> values_;  // the samples' template values, in order
    std::vector<float> scoreOf_;  // [d]: the score of a whole-number distance d
    std::vector<int> lastEqual_;  // [d]: the largest d' >= d with the same score
    int W_, H_, th_, iMax_, jMax_;
    int nI_ = 0, nJ_ = 0;  // lattice columns and rows
    VectorLevel level_;  // decided once per search
};

}  // namespace

std::unique_ptr<ColumnKernel> MakeDifferenceKernel(const GrayImage& T, int tw, int th, int W,
                                                   int H)
{
    return std::make_unique<DifferenceKernel>(T, tw, th, W, H);
}

}  // namespace match_pattern
