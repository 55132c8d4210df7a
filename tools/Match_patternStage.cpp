// tools/Match_patternStage.cpp: the fine stage over many threads, with the
// result of one candidate after the other.
//
// Each candidate is scored on the image holding the outlines of the candidates
// before it, so candidate i cannot simply run beside candidate i − 1. But an
// outline is a thin line that changes few pixels, and a column of placements
// reads a known rectangle. So columns are scored ahead, many at a time, on the
// image as it is; then candidates are settled in table order, and a column is
// scored again, now on the current image, only when an outline drawn since it
// was scored changed a pixel of its rectangle. Every column result is thus the
// one the current image gives, and the search equals the one-by-one search
// whatever the thread count or the batch sizes.
#include "Match_patternStage.h"

#include "Parallel.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

namespace match_pattern {
namespace {

constexpr std::uint8_t kOutlineGray = 128;

// The pixels an outline changed: nothing else of the image moved.
struct Outline {
    int left = 0, right = -1, top = 0, bottom = -1;  // bounds of the changed pixels
    std::vector<int> xs, ys;
};

// Draws the outline of c into I (a turned rectangle, and in rotated mode a
// circle of radius 3 at its centre) and records the pixels it changed.
Outline DrawOutline(GrayImage& I, const Candidate& c, int tw, int th, bool circle, int W, int H)
{
    // The turned corners lie within the half diagonal of the centre plus one for
    // their rounding, the sides between them, and the circle (radius 3) inside
    // that; two more pixels spare.
    const long long ccx = static_cast<long long>(c.x) + tw / 2;
    const long long ccy = static_cast<long long>(c.y) + th / 2;
    const double half = std::hypot(static_cast<double>(tw / 2), static_cast<double>(th / 2));
    const long long reach = std::max<long long>(static_cast<long long>(std::ceil(half)) + 3, 5);
    const int left = static_cast<int>(std::max<long long>(0, ccx - reach));
    const int right = static_cast<int>(std::min<long long>(W - 1, ccx + reach));
    const int top = static_cast<int>(std::max<long long>(0, ccy - reach));
    const int bottom = static_cast<int>(std::min<long long>(H - 1, ccy + reach));
    const int rows = bottom - top + 1;
    std::vector<std::uint8_t> before;
    if (left <= right && top <= bottom) {
        before.resize(static_cast<std::size_t>(right - left + 1) * static_cast<std::size_t>(rows));
        for (int x = left; x <= right; ++x)
            std::copy_n(I[x] + top, rows, before.begin() + static_cast<std::ptrdiff_t>(x - left) * rows);
    }
    DrawRotatedRect(I, kOutlineGray, c.angle, c.x, c.y, c.x + tw, c.y + th, W, H);
    if (circle)
        DrawCircle(I, 3, kOutlineGray, c.x + tw / 2, c.y + th / 2, W, H);
    Outline outline;
    outline.left = outline.top = INT32_MAX;
    outline.right = outline.bottom = INT32_MIN;
    for (int x = left; x <= right && !before.empty(); ++x) {
        const std::uint8_t* was = before.data() + static_cast<std::ptrdiff_t>(x - left) * rows;
        if (std::memcmp(I[x] + top, was, static_cast<std::size_t>(rows)) == 0)
            continue;
        for (int y = top; y <= bottom; ++y)
            if (I[x][y] != was[y - top]) {
                outline.xs.push_back(x);
                outline.ys.push_back(y);
                outline.left = std::min(outline.left, x);
                outline.right = std::max(outline.right, x);
                outline.top = std::min(outline.top, y);
                outline.bottom = std::max(outline.bottom, y);
            }
    }
    return outline;
}

// Runs f(i) for i in [0, count) on every worker, each taking the next few
// indices as it comes free, so uneven columns still share out evenly.
template <class F>
void ForEachShared(long long count, int workers, F&& f)
{
    if (count <= 0)
        return;
    const long long grain = std::clamp<long long>(count / (workers * 16LL), 1, 64);
    std::atomic<long long> next{0};
    ParallelFor(0, workers, 1, [&](int, int) {
        for (;;) {
            const long long lo = next.fetch_add(grain);
            if (lo >= count)
                return;
            const long long hi = std::min(count, lo + grain);
            for (long long i = lo; i < hi; ++i)
                f(i);
        }
    });
}

struct Slot {
    ColumnBest best;
    int stamp = 0;  // number of outlines drawn when the column was scored
};

class FineStage {
public:
    FineStage(GrayImage& I, std::vector<Candidate>& table, int n, int tw, int th, int W, int H,
              const ColumnKernel& kernel, const StageOptions& options, FineStageCounts& counts)
        : I_(I), table_(table), n_(n), tw_(tw), th_(th), W_(W), H_(H), kernel_(kernel),
          options_(options), counts_(counts), workers_(WorkerCount())
    {
        for (int c = 0; c < n; ++c) {
            originX_.push_back(table[static_cast<std::size_t>(c)].x);
            originY_.push_back(table[static_cast<std::size_t>(c)].y);
        }
    }

    bool Run(const SearchProgress& progress)
    {
        using Clock = std::chrono::steady_clock;
        const long long total = static_cast<long long>(n_) * tw_;
        const long long firstBatch = std::max<long long>(tw_, 64LL * workers_);
        long long batch = firstBatch;
        long long oneByOne = 0, stretch = 64;  // candidates to score one at a time
        auto reported = Clock::time_point();
        while (next_ < total) {
            // One candidate at a time, each is scored on the image with every
            // earlier outline, so nothing is ever scored again.
            const long long end =
                oneByOne > 0 ? std::min(total, static_cast<long long>(settled_ + 1) * tw_)
                             : std::min(total, next_ + batch);
            const long long scored = end - next_;
            const auto start = Clock::now();
            const bool shared = ScoreAhead(end);
            columnNs_ = std::chrono::duration<double, std::nano>(Clock::now() - start).count() *
                        (shared ? workers_ : 1) / static_cast<double>(scored);
            const long long rescoredBefore = counts_.rescored;
            const int settledBefore = settled_;
            while (settled_ < n_ && static_cast<long long>(settled_ + 1) * tw_ <= next_)
                Settle();
            ForgetOldOutlines();
            // Scoring ahead pays while few columns must be scored again. Where most
            // must (every block a match, each outline touching the next), go one
            // candidate at a time, for twice as long after each batch that failed.
            const long long settledColumns = static_cast<long long>(settled_ - settledBefore) * tw_;
            if (oneByOne > 0) {
                --oneByOne;
            } else if (2 * (counts_.rescored - rescoredBefore) > settledColumns) {
                oneByOne = stretch;
                stretch = std::min<long long>(2 * stretch, 1 << 24);
                batch = firstBatch;
            } else {
                stretch = 64;
                // Batches of about 40 ms keep a progress window lively; their size
                // changes the work done, never the result.
                const double ms =
                    std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                const double factor = std::clamp(40.0 / std::max(ms, 0.01), 0.5, 4.0);
                batch = std::max<long long>(
                    tw_, static_cast<long long>(static_cast<double>(batch) * factor));
            }
            if (next_ < total && progress && Clock::now() - reported > std::chrono::milliseconds(20)) {
                reported = Clock::now();
                if (!progress(static_cast<double>(next_) / total))
                    return false;
            }
        }
        return true;
    }

private:
    // Scores the columns next_ .. end − 1 (column u is column u % tw of
    // candidate u / tw) on the image as it is now. True when other threads helped.
    bool ScoreAhead(long long end)
    {
        const long long first = next_;
        const int stamp = OutlineCount();
        window_.erase(window_.begin(), window_.begin() + static_cast<std::ptrdiff_t>(front_));
        front_ = 0;
        window_.resize(static_cast<std::size_t>(end - windowBase_));
        const bool shared = Worth(end - first);
        RunColumns(end - first, shared, [&](long long k) {
            const long long u = first + k;
            const int c = static_cast<int>(u / tw_);
            Slot& slot = Column(u - windowBase_);
            slot.best = kernel_.Evaluate(I_, originX_[static_cast<std::size_t>(c)] + static_cast<int>(u % tw_),
                                         originY_[static_cast<std::size_t>(c)]);
            slot.stamp = stamp;
        });
        counts_.columns += end - first;
        next_ = end;
        return shared;
    }

    // Handing a few cheap columns to the other threads costs more than it saves.
    bool Worth(long long columns) const
    {
        return workers_ > 1 && static_cast<double>(columns) * columnNs_ >= 200e3;
    }
    template <class F>
    void RunColumns(long long count, bool shared, F&& f)
    {
        if (shared) {
            ForEachShared(count, workers_, f);
        } else {
            for (long long k = 0; k < count; ++k)
                f(k);
        }
    }

    // Settles the next candidate in table order and draws its outline.
    void Settle()
    {
        const int c = settled_;
        const int ox = originX_[static_cast<std::size_t>(c)], oy = originY_[static_cast<std::size_t>(c)];
        RescoreTouchedColumns(ox, oy);
        Candidate best = table_[static_cast<std::size_t>(c)];
        best.x = ox;
        best.y = oy;
        best.angle = 0.0f;
        best.score = 0.0f;
        for (int k = 0; k < tw_; ++k) {  // columns in scan order, ties to the first
            const ColumnBest& r = Column(k).best;
            if (r.score > best.score) {
                best.x = ox + k;
                best.y = r.y;
                best.angle = r.angle;
                best.score = r.score;
            }
        }
        table_[static_cast<std::size_t>(c)] = best;
        if (options_.traceScores)
            TraceLine(options_.trace, "=====> score = %f\n", static_cast<double>(best.score));
        if (best.score > 0.9f) {
            Outline outline = DrawOutline(I_, best, tw_, th_, options_.centreCircle, W_, H_);
            if (!outline.xs.empty())
                outlines_.push_back(std::move(outline));
        }
        front_ += static_cast<std::size_t>(tw_);
        windowBase_ += tw_;
        ++settled_;
    }

    // Scores again, on the current image, every column of the candidate at
    // (ox, oy) whose rectangle holds a pixel that an outline changed after the
    // column was scored.
    void RescoreTouchedColumns(int ox, int oy)
    {
        int oldest = INT32_MAX;
        for (int k = 0; k < tw_; ++k)
            oldest = std::min(oldest, Column(k).stamp);
        if (oldest >= OutlineCount())
            return;
        const long long top = static_cast<long long>(oy) + kernel_.readTop;
        const long long bottom = static_cast<long long>(oy) + kernel_.readBottom;
        const long long left = static_cast<long long>(ox) + kernel_.readLeft;
        const long long right = static_cast<long long>(ox) + tw_ - 1 + kernel_.readRight;
        std::vector<char> touched(static_cast<std::size_t>(tw_), 0);
        bool any = false;
        for (int o = oldest; o < OutlineCount(); ++o) {
            const Outline& outline = outlines_[static_cast<std::size_t>(o - firstOutline_)];
            if (outline.right < left || outline.left > right || outline.bottom < top ||
                outline.top > bottom)
                continue;
            for (std::size_t p = 0; p < outline.xs.size(); ++p) {
                const long long px = outline.xs[p], py = outline.ys[p];
                if (py < top || py > bottom)
                    continue;
                // Column ox + k reads ox + k + readLeft .. ox + k + readRight.
                const long long kFirst = std::max<long long>(0, px - kernel_.readRight - ox);
                const long long kLast = std::min<long long>(tw_ - 1, px - kernel_.readLeft - ox);
                for (long long k = kFirst; k <= kLast; ++k)
                    if (Column(k).stamp <= o && !touched[static_cast<std::size_t>(k)]) {
                        touched[static_cast<std::size_t>(k)] = 1;
                        any = true;
                    }
            }
        }
        if (!any)
            return;
        std::vector<int> columns;
        for (int k = 0; k < tw_; ++k)
            if (touched[static_cast<std::size_t>(k)])
                columns.push_back(k);
        const long long count = static_cast<long long>(columns.size());
        RunColumns(count, Worth(count), [&](long long i) {
            const int k = columns[static_cast<std::size_t>(i)];
            Column(k).best = kernel_.Evaluate(I_, ox + k, oy);
        });
        counts_.rescored += static_cast<long long>(columns.size());
    }

    GrayImage& I_;
    std::vector<Candidate>& table_;
    const int n_, tw_, th_, W_, H_;
    const ColumnKernel& kernel_;
    const StageOptions& options_;
    FineStageCounts& counts_;
    const int workers_;  // asked once: the count can cost a system call
    std::vector<int> originX_, originY_;  // block origins: the bounds of each candidate's scan
    // Outlines are numbered from the first of the search; those older than every
    // column still to settle can no longer touch anything and are let go.
    int OutlineCount() const { return firstOutline_ + static_cast<int>(outlines_.size()); }
    void ForgetOldOutlines()
    {
        int oldest = OutlineCount();
        for (std::size_t k = front_; k < window_.size(); ++k)
            oldest = std::min(oldest, window_[k].stamp);
        outlines_.erase(outlines_.begin(), outlines_.begin() + (oldest - firstOutline_));
        firstOutline_ = oldest;
    }

    // The k-th column scored and not yet settled, counted from the first one.
    Slot& Column(long long k) { return window_[front_ + static_cast<std::size_t>(k)]; }

    std::vector<Slot> window_;            // columns scored, settled ones before front_
    std::size_t front_ = 0;               // the first column not settled
    long long windowBase_ = 0;            // the column window_[front_] holds
    long long next_ = 0;                  // the next column to score
    int settled_ = 0;                     // the next candidate to settle
    double columnNs_ = 1e6;          // time one thread takes for a column, as last measured
    std::vector<Outline> outlines_;  // outline firstOutline_ and those after it
    int firstOutline_ = 0;
};

}  // namespace

bool RunFineStage(GrayImage& I, std::vector<Candidate>& table, int n, int tw, int th, int W,
                  int H, const ColumnKernel& kernel, const StageOptions& options,
                  const SearchProgress& progress, FineStageCounts& counts)
{
    if (n <= 0 || tw <= 0)
        return true;
    FineStage stage(I, table, n, tw, th, W, H, kernel, options, counts);
    return stage.Run(progress);
}

}  // namespace match_pattern
