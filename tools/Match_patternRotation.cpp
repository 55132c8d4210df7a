// tools/Match_patternRotation.cpp: rotated columns, the ring-profile test and
// the template's sample grid turned by every angle.
#include "Match_patternLanes.h"
#include "Match_patternSweep.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

namespace match_pattern {
namespace {

#if defined(__x86_64__)
// Ring counts with AVX2: total[w][l] = number of k with at[k][start[w] + l] >= threshold.
template <int Windows>
__attribute__((target("avx2"))) void CountWide(const std::uint8_t* const* at, std::size_t points,
                                               int threshold, const int* start,
                                               int (&total)[Windows][kWideLanes])
{
    const __m256i floor = _mm256_set1_epi8(static_cast<char>(threshold));
    for (std::size_t first = 0; first < points; first += 255) {  // 8-bit lanes
        const std::size_t last = std::min(points, first + 255);
        __m256i counted[Windows];
        for (int w = 0; w < Windows; ++w)
            counted[w] = _mm256_setzero_si256();
        for (std::size_t p = first; p < last; ++p)
            for (int w = 0; w < Windows; ++w) {
                const __m256i v =
                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at[p] + start[w]));
                counted[w] = _mm256_sub_epi8(counted[w],
                                             _mm256_cmpeq_epi8(_mm256_max_epu8(v, floor), v));
            }
        for (int w = 0; w < Windows; ++w) {
            alignas(32) std::uint8_t part[kWideLanes];
            _mm256_store_si256(reinterpret_cast<__m256i*>(part), counted[w]);
            for (int l = 0; l < kWideLanes; ++l)
                total[w][l] += part[l];
        }
    }
}

#endif  // __x86_64__

constexpr int kMaxRings = 8;

// Four angles' sums side by side: lane by lane the same single-precision
// operations, in the same order, as one angle alone.
using Floats = float __attribute__((vector_size(16)));  // the model has 2 to 4 rings for templates of 8 x 8 and more
constexpr int kAngleLanes = 4;

class RotationKernel final : public ColumnKernel {
public:
    RotationKernel(const GrayImage& I, const TemplateModel& model, const RotationModel& rotation,
                   float maxAngle, int W, int H)
        : W_(W), H_(H), th_(model.th), hx_(model.tw / 2), hy_(model.th / 2), R_(rotation.R),
          threshold_(model.threshold), level_(ActiveVectorLevel())
    {
        for (int x = 0; x < W; ++x)
            columns_.push_back(I[x]);
        for (int k = 0; k < 256; ++k)
            term_[k] = static_cast<float>(k) / 255.0f;
        int ringLeft = 0, ringRight = 0, ringTop = 0, ringBottom = 0;
        for (std::size_t k = 1; k < rotation.ringProfile.size(); ++k) {
            Ring ring;
            ring.profile = rotation.ringProfile[k];
            ring.points = RingPoints(static_cast<int>(k) * rotation.step);
            ring.visited = static_cast<float>(ring.points.size());
            for (const Offset& p : ring.points) {
                ringLeft = std::min(ringLeft, p.dx);
                ringRight = std::max(ringRight, p.dx);
                ringTop = std::min(ringTop, p.dy);
                ringBottom = std::max(ringBottom, p.dy);
            }
            ringPoints_.insert(ringPoints_.end(), ring.points.begin(), ring.points.end());
            rings_.push_back(std::move(ring));
        }
        assert(rings_.size() <= kMaxRings);

        // Every sample of every angle, turned once here: the turn does not depend
        // on where the template is placed.
        for (int k = 0; k < rotation.columns; ++k)
            for (int l = 0; l < rotation.rows; ++l)
                grid_.push_back(rotation.grid[static_cast<std::size_t>(k * rotation.rows + l)]);
        G_ = static_cast<int>(grid_.size());
        for (int g : grid_)
            gridBytes_.push_back(static_cast<std::uint8_t>(g));
        angles_ = AngleCount(maxAngle);
        const int groups = (angles_ + kAngleLanes - 1) / kAngleLanes;
        offsets_.resize(static_cast<std::size_t>(groups) * G_ * kAngleLanes);
        extents_.resize(static_cast<std::size_t>(groups) * kAngleLanes);
        int left = ringLeft, right = ringRight, top = ringTop, bottom = ringBottom;
        for (int a = 0; a < groups * kAngleLanes; ++a) {
            // Lanes past the last angle repeat it; their scores are never used.
            const float angle = static_cast<float>(std::min(a, angles_ - 1));
            Extent& e = extents_[static_cast<std::size_t>(a)];
            e = {INT_MAX, INT_MIN, INT_MAX, INT_MIN};
            int s = 0;
            for (int k = 0; k < rotation.columns; ++k)
                for (int l = 0; l < rotation.rows; ++l, ++s) {
                    Offset o;
                    RotatePoint(k * rotation.sx - hx_, l * rotation.sy - hy_, o.dx, o.dy, angle);
                    offsets_[(static_cast<std::size_t>(a / kAngleLanes) * G_ + s) * kAngleLanes +
                             a % kAngleLanes] = o;
                    if (a < angles_)
                        angleSamples_.push_back({o.dx, o.dy});
                    e.left = std::min(e.left, o.dx);
                    e.right = std::max(e.right, o.dx);
                    e.top = std::min(e.top, o.dy);
                    e.bottom = std::max(e.bottom, o.dy);
                }
            left = std::min(left, e.left);
            right = std::max(right, e.right);
            top = std::min(top, e.top);
            bottom = std::max(bottom, e.bottom);
        }
        readLeft = hx_ + left;
        readRight = hx_ + right;
        readTop = hy_ + top;
        readBottom = th_ - 1 + hy_ + bottom;
    }

    ColumnBest Evaluate(const GrayImage&, int x, int oy) const override
    {
        ColumnBest best;
        const long long cx = static_cast<long long>(x) + hx_;
        // The rings must stay left of the right edge and above the bottom one.
        if (angles_ == 0 || cx + R_ >= W_)
            return best;
        const int yEnd = static_cast<int>(std::min<long long>(oy + th_, H_ - R_ - hy_));
#if defined(__x86_64__)
        const bool wide = level_ >= VectorLevel::Avx2 && yEnd - oy >= kWideLanes;
        thread_local std::vector<const std::uint8_t*> at;
        if (wide) {  // every ring point of this column, ring after ring
            at.resize(ringPoints_.size());
            const std::uint8_t* const* column = columns_.data() + cx;
            for (std::size_t p = 0; p < ringPoints_.size(); ++p)
                at[p] = column[ringPoints_[p].dx] + hy_ + ringPoints_[p].dy;
        }
#endif
        if (yEnd <= oy)
            return best;
        thread_local std::vector<std::uint8_t> passing;  // [y − oy]: passed the ring test
        passing.assign(static_cast<std::size_t>(yEnd - oy), 0);
        bool anyPassed = false;
        int hits[kMaxRings][kChunk];
        for (int c0 = oy; c0 < yEnd; c0 += kChunk) {
            const int count = std::min(kChunk, yEnd - c0);
            int tail = count;  // placements left to count one at a time
#if defined(__x86_64__)
            if (level_ >= VectorLevel::Baseline) {
                int starts[kMaxWindows];
                const int windows =
                    WindowStarts(c0, count, oy, wide ? kWideLanes : kLanes, starts, tail);
                if (wide)
                    CountChunkWide(at, starts, windows, c0, count, hits);
                else
                    CountChunk(static_cast<int>(cx), starts, windows, c0, count, hits);
            }
#endif
            for (int y = c0 + count - tail; y < c0 + count; ++y)
                CountOne(static_cast<int>(cx), y, hits, y - c0);
            for (int k = 0; k < count; ++k)
                if (PassesRingTest(hits, k)) {
                    passing[static_cast<std::size_t>(c0 + k - oy)] = 1;
                    anyPassed = true;
                }
        }
        if (anyPassed)
            SweepColumn(static_cast<int>(cx), oy, yEnd, passing, best);
        return best;
    }

private:
    struct Offset {
        int dx = 0, dy = 0;
    };
    struct Ring {
        float profile = 0.0f;
        float visited = 0.0f;
        std::vector<Offset> points;  // with repeats, as the circle walk visits them
    };
    struct Extent {
        int left, right, top, bottom;
    };

    static int AngleCount(float maxAngle)
    {
        // 0, 1, ... while a <= maxAngle. Angles past 360 only repeat turns already tried.
        if (!(maxAngle >= 0.0f))
            return 0;
        return static_cast<int>(std::floor(std::min(maxAngle, 360.0f))) + 1;
    }

    // The points DrawCircle sets for radius r about (0, 0), in its order.
    static std::vector<Offset> RingPoints(int r)
    {
        std::vector<Offset> points;
        int x = 0, y = r, err = 0;
        while (y > 0) {
            points.push_back({x, y});
            points.push_back({x, -y});
            points.push_back({-x, y});
            points.push_back({-x, -y});
            if (err > 0) {
                err = err - 2 * y + 1;
                --y;
            } else {
                err = err + 2 * x + 1;
                ++x;
            }
        }
        points.push_back({x, 0});
        points.push_back({x - 2 * r, 0});
        return points;
    }

#if defined(__x86_64__)
    // Bright-pixel counts on every ring for the placements start[w] .. start[w]
    // + 15 of Windows windows: each ring point's column is found once for all.
    template <int Windows>
    void CountWindows(int cx, const int* start, int c0, int count, int (*hits)[kChunk]) const
    {
        const __m128i floor = _mm_set1_epi8(static_cast<char>(threshold_));
        for (std::size_t k = 0; k < rings_.size(); ++k) {
            int total[Windows][kLanes] = {};
            const std::vector<Offset>& points = rings_[k].points;
            // 8-bit lanes count 255 points before they must be emptied.
            for (std::size_t first = 0; first < points.size(); first += 255) {
                const std::size_t last = std::min(points.size(), first + 255);
                __m128i counted[Windows];
                for (int w = 0; w < Windows; ++w)
                    counted[w] = _mm_setzero_si128();
                for (std::size_t p = first; p < last; ++p) {
                    const std::uint8_t* column =
                        columns_[static_cast<std::size_t>(cx + points[p].dx)] + hy_ + points[p].dy;
                    for (int w = 0; w < Windows; ++w) {
                        const __m128i v =
                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(column + start[w]));
                        // v >= threshold exactly where max(v, threshold) == v; true is -1.
                        counted[w] =
                            _mm_sub_epi8(counted[w], _mm_cmpeq_epi8(_mm_max_epu8(v, floor), v));
                    }
                }
                for (int w = 0; w < Windows; ++w) {
                    alignas(16) std::uint8_t part[kLanes];
                    _mm_store_si128(reinterpret_cast<__m128i*>(part), counted[w]);
                    for (int l = 0; l < kLanes; ++l)
                        total[w][l] += part[l];
                }
            }
            KeepInChunk(total, start, c0, count, hits[k]);
        }
    }

    void CountChunk(int cx, const int* start, int windows, int c0, int count,
                    int (*hits)[kChunk]) const
    {
        switch (windows) {
        case 1: CountWindows<1>(cx, start, c0, count, hits); break;
        case 2: CountWindows<2>(cx, start, c0, count, hits); break;
        case 3: CountWindows<3>(cx, start, c0, count, hits); break;
        case 4: CountWindows<4>(cx, start, c0, count, hits); break;
        case 5: CountWindows<5>(cx, start, c0, count, hits); break;
        default: break;
        }
    }

#endif

    void CountOne(int cx, int y, int (*hits)[kChunk], int index) const
    {
        for (std::size_t k = 0; k < rings_.size(); ++k) {
            int total = 0;
            for (const Offset& p : rings_[k].points)
                total += columns_[static_cast<std::size_t>(cx + p.dx)][y + hy_ + p.dy] >= threshold_;
            hits[k][index] = total;
        }
    }

#if defined(__x86_64__)
    // The same with AVX2, at the ring points' addresses in this column.
    void CountChunkWide(const std::vector<const std::uint8_t*>& at, const int* starts, int windows,
                        int c0, int count, int (*hits)[kChunk]) const
    {
        std::size_t first = 0;
        for (std::size_t k = 0; k < rings_.size(); ++k) {
            const std::size_t points = rings_[k].points.size();
            if (windows == 2) {
                int total[2][kWideLanes] = {};
                CountWide<2>(at.data() + first, points, threshold_, starts, total);
                KeepInChunk(total, starts, c0, count, hits[k]);
            } else {
                int total[1][kWideLanes] = {};
                CountWide<1>(at.data() + first, points, threshold_, starts, total);
                KeepInChunk(total, starts, c0, count, hits[k]);
            }
            first += points;
        }
    }

#endif

    // The ring distance, as the mean of |profile − share| in ring order, must
    // leave 1 − d above 0.98.
    bool PassesRingTest(const int (*hits)[kChunk], int k) const
    {
        float sum = 0.0f;
        for (std::size_t r = 0; r < rings_.size(); ++r) {
            const float share = static_cast<float>(hits[r][k]) / rings_[r].visited;
            sum += std::fabs(rings_[r].profile - share);
        }
        const float d = rings_.empty() ? sum : sum / static_cast<float>(rings_.size());
        return !(1.0f - d <= 0.98f);
    }

    bool Fits(int a, int cx, int cy) const
    {
        const Extent& e = extents_[static_cast<std::size_t>(a)];
        return cx + e.left >= 0 && cx + e.right < W_ && cy + e.top >= 0 && cy + e.bottom < H_;
    }

    std::uint8_t Pixel(int cx, int cy, const Offset& o) const
    {
        return columns_[static_cast<std::size_t>(cx + o.dx)][cy + o.dy];
    }

    // Every angle at the placement with centre (cx, cy) and top row y. Four angles
    // run side by side, each summing its samples in the defined order; a group
    // stops early once no lane can beat the best score any more: the partial sum
    // only grows, so 1 − partial / G bounds the final score from above.
    void Sweep(int cx, int cy, int y, ColumnBest& best) const
    {
        const float G = static_cast<float>(G_);
        const Floats one = {1.0f, 1.0f, 1.0f, 1.0f}, count = {G, G, G, G};
        for (int a0 = 0; a0 < angles_; a0 += kAngleLanes) {
            bool fits[kAngleLanes];
            bool all = true;
            for (int l = 0; l < kAngleLanes; ++l)
                all &= fits[l] = Fits(a0 + l, cx, cy);
            const Offset* o =
                &offsets_[static_cast<std::size_t>(a0 / kAngleLanes) * G_ * kAngleLanes];
            float score[kAngleLanes];
            if (all) {
                const Floats floor = {best.score, best.score, best.score, best.score};
                Floats sum = {};
                bool beaten = false;
                for (int s = 0; s < G_; ++s, o += kAngleLanes) {
                    const int g = grid_[static_cast<std::size_t>(s)];
                    sum += Floats{term_[std::abs(Pixel(cx, cy, o[0]) - g)],
                                  term_[std::abs(Pixel(cx, cy, o[1]) - g)],
                                  term_[std::abs(Pixel(cx, cy, o[2]) - g)],
                                  term_[std::abs(Pixel(cx, cy, o[3]) - g)]};
                    if ((s & 7) == 7) {
                        const auto beatenIn = one - sum / count <= floor;  // -1 where true
                        if ((beatenIn[0] & beatenIn[1] & beatenIn[2] & beatenIn[3]) != 0) {
                            beaten = true;
                            break;
                        }
                    }
                }
                if (beaten)
                    continue;
                const Floats final = one - sum / count;
                for (int l = 0; l < kAngleLanes; ++l)
                    score[l] = final[l];
            } else {
                for (int l = 0; l < kAngleLanes; ++l) {
                    if (!fits[l])
                        continue;
                    float sum = 0.0f;
                    for (int s = 0; s < G_; ++s)
                        sum += term_[std::abs(Pixel(cx, cy, o[s * kAngleLanes + l]) -
                                              grid_[static_cast<std::size_t>(s)])];
                    score[l] = 1.0f - sum / G;
                }
            }
            for (int l = 0; l < kAngleLanes && a0 + l < angles_; ++l)
                if (fits[l] && score[l] > best.score) {
                    best.y = y;
                    best.angle = static_cast<float>(a0 + l);
                    best.score = score[l];
                }
        }
    }

    // Every angle at every placement of the column that passed the ring test.
    //
    // With S the whole-number sum of |I − grid| of a placement and angle, the
    // float sum of the terms S_k / 255 lies within 81 · 81 · 2^−24 < 0.0004 of
    // S / 255 (at most 81 samples, each term at most 1), while sums of two
    // different S lie 1 / 255 apart. So a smaller S always gives a strictly
    // higher score: the best of the column, the first in scan order of the
    // highest score, is one of the placements and angles of the least S, and
    // only those are scored in floats, in scan order. The whole-number sums
    // run over windows of placements side by side (Match_patternSweep.h); an
    // angle stops once every placement of its window is above the least S so far.
    void SweepColumn(int cx, int oy, int yEnd, const std::vector<std::uint8_t>& passing,
                     ColumnBest& best) const
    {
#if defined(__x86_64__)
        const int lanes = level_ >= VectorLevel::Avx512Vbmi ? 64
                          : level_ >= VectorLevel::Avx2     ? 32
                                                            : 16;
#else
        const int lanes = 16;
#endif
        thread_local std::vector<std::uint8_t> sums;  // [angle · lanes + lane]
        thread_local std::vector<int> angleLeast;     // [angle]: its least lane
        thread_local std::vector<std::pair<int, int>> ties;  // (y, angle) of the least S
        thread_local std::vector<int> tiedAngles;  // angles whose least is the window's
        sums.resize(static_cast<std::size_t>(angles_) * static_cast<std::size_t>(lanes));
        angleLeast.resize(static_cast<std::size_t>(angles_));
        ties.clear();
        int least = 255;  // of every sum so far; 255 stands for 255 or more
        std::uint8_t start[64];
        for (int y0 = oy; y0 < yEnd; y0 += lanes) {
            bool anyLane = false;
            for (int l = 0; l < lanes; ++l) {
                const bool counts = y0 + l < yEnd && passing[static_cast<std::size_t>(y0 + l - oy)];
                start[l] = counts ? 0 : 255;
                anyLane |= counts;
            }
            if (!anyLane)
                continue;
            const int leastBefore = least, cy0 = y0 + hy_;
            for (int a = 0; a < angles_; ++a) {
                std::uint8_t* out =
                    &sums[static_cast<std::size_t>(a) * static_cast<std::size_t>(lanes)];
                const Extent& e = extents_[static_cast<std::size_t>(a)];
                int windowLeast = 255;
                if (cx + e.left >= 0 && cx + e.right < W_ && cy0 + e.top >= 0 &&
                    cy0 + lanes - 1 + e.bottom < H_) {
                    const AngleWindow window{columns_.data(), cx, cy0,
                                             &angleSamples_[static_cast<std::size_t>(a) * G_],
                                             gridBytes_.data(), G_};
#if defined(__x86_64__)
                    if (lanes == 64)
                        windowLeast = SumLanes64(window, start, least, out);
                    else if (lanes == 32)
                        windowLeast = SumLanes32(window, start, least, out);
                    else
#endif
                        windowLeast = SumLanes16(window, start, least, out);
                } else {  // near the image's edge: lane by lane, those that fit
                    for (int l = 0; l < lanes; ++l) {
                        out[l] = 255;
                        if (start[l] == 0 && Fits(a, cx, cy0 + l))
                            out[l] = static_cast<std::uint8_t>(
                                std::min(255, WholeDistance(a, cx, cy0 + l)));
                        windowLeast = std::min<int>(windowLeast, out[l]);
                    }
                }
                angleLeast[static_cast<std::size_t>(a)] = windowLeast;
                least = std::min(least, windowLeast);
            }
            if (least < leastBefore)
                ties.clear();
            if (least == 255)
                continue;
            std::vector<int>& tied = tiedAngles;
            tied.clear();
            for (int a = 0; a < angles_; ++a)
                if (angleLeast[static_cast<std::size_t>(a)] == least)
                    tied.push_back(a);
            for (int l = 0; l < lanes; ++l)  // scan order: y, then angle
                for (int a : tied)
                    if (sums[static_cast<std::size_t>(a) * static_cast<std::size_t>(lanes) +
                             static_cast<std::size_t>(l)] == least)
                        ties.emplace_back(y0 + l, a);
        }
        if (least == 255) {  // every sum 255 or more: floats throughout
            for (int y = oy; y < yEnd; ++y)
                if (passing[static_cast<std::size_t>(y - oy)])
                    Sweep(cx, y + hy_, y, best);
            return;
        }
        for (const auto& [y, a] : ties) {
            const float score = ExactScore(a, cx, y + hy_);
            if (score > best.score) {
                best.y = y;
                best.angle = static_cast<float>(a);
                best.score = score;
            }
        }
    }

    int WholeDistance(int a, int cx, int cy) const
    {
        const SampleOffset* o = &angleSamples_[static_cast<std::size_t>(a) * G_];
        int sum = 0;
        for (int s = 0; s < G_; ++s)
            sum += std::abs(columns_[static_cast<std::size_t>(cx + o[s].dx)][cy + o[s].dy] -
                            grid_[static_cast<std::size_t>(s)]);
        return sum;
    }

    // The score as defined: the terms summed in grid order in single precision.
    float ExactScore(int a, int cx, int cy) const
    {
        const SampleOffset* o = &angleSamples_[static_cast<std::size_t>(a) * G_];
        float sum = 0.0f;
        for (int s = 0; s < G_; ++s)
            sum += term_[std::abs(columns_[static_cast<std::size_t>(cx + o[s].dx)][cy + o[s].dy] -
                                  grid_[static_cast<std::size_t>(s)])];
        return 1.0f - sum / static_cast<float>(G_);
    }

    int W_, H_, th_, hx_, hy_, R_, threshold_;
    VectorLevel level_;  // decided once per search
    std::vector<const std::uint8_t*> columns_;
    float term_[256];
    std::vector<Ring> rings_;
    std::vector<Offset> ringPoints_;  // those of every ring, ring after ring
    std::vector<int> grid_;
    int G_ = 0, angles_ = 0;
    std::vector<Offset> offsets_;  // [angle group][sample][lane]
    std::vector<Extent> extents_;  // [angle]
    std::vector<SampleOffset> angleSamples_;  // [angle · G + sample]
    std::vector<std::uint8_t> gridBytes_;     // grid_ as bytes
};

}  // namespace

std::unique_ptr<ColumnKernel> MakeRotationKernel(const GrayImage& I, const TemplateModel& model,
                                                 const RotationModel& rotation, float maxAngle,
                                                 int W, int H)
{
    return std::make_unique<RotationKernel>(I, model, rotation, maxAngle, W, H);
}

}  // namespace match_pattern
