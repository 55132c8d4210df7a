// tools/Detect_objectStrips.cpp: the labelling pass in strips of columns, which
// the worker threads take in turn, with the labels of the scan in one strip.
//
// The label a pixel gets depends on the pixels left of it and above it only
// through the pixels that reach it by steps right and down through object
// pixels: it is the smallest label opened among them. So a strip can label on
// its own every pixel that no object pixel of the strips to its left reaches;
// those it treats as background. It opens exactly the labels the scan in one
// strip opens there, in the same order, so they are that scan's labels less
// the count the strips before it opened. The reached pixels (on noise, a few
// next to the seam) are labelled afterwards, strip after strip in scan order,
// by the pixel rules: they take the smaller of their neighbours' labels, are
// counted into it, and join the two sets.

#include "Detect_objectColumns.h"
#include "Parallel.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace detect_columns {
namespace {

// Regions smaller than this label in one strip unless work.strips says
// otherwise: waking a thread costs more than half of such a region's scan.
constexpr long long kPixelsToShare = 1 << 18;
// Strips per worker on such regions: a worker that finishes early takes the
// next strip, so a core slowed by other work holds nobody up for long.
constexpr int kStripsPerWorker = 2;

// Strip k covers columns Begin(k) .. Begin(k + 1) − 1.
struct StripBounds {
    int X1 = 0, columns = 0, count = 1;
    int Begin(int k) const
    {
        return X1 + static_cast<int>(static_cast<long long>(columns) * k / count);
    }
};

// reach becomes the bits of the column (bits) that lie in a run of object
// pixels at or below a pixel whose left neighbour is reached (reach on entry:
// the left column's reached bits). Adding the seeds to the column's bits makes
// the carry run from each seed to the end of its run; the bits the addition
// changes, and the seeds themselves, are the reached pixels. Returns whether
// any pixel is reached.
bool ReachDown(const std::vector<std::uint64_t>& bits, std::vector<std::uint64_t>& reach)
{
    std::uint64_t carry = 0, any = 0;
    for (std::size_t w = 0; w < bits.size(); ++w) {
        const std::uint64_t b = bits[w], seeds = b & reach[w];
        std::uint64_t sum;
        const bool c1 = __builtin_add_overflow(b, seeds, &sum);
        const bool c2 = __builtin_add_overflow(sum, carry, &sum);
        carry = c1 || c2 ? 1 : 0;
        reach[w] = ((sum ^ b) | seeds) & b;
        any |= reach[w];
    }
    return any != 0;
}

// Labels the columns a .. b − 1 of one strip into table, its label columns
// into columns. With reached set (every strip but the first), the object
// pixels reached from the column a − 1 are left unlabelled and listed in
// reached instead; past budget of them the strip gives up and returns false,
// as it does when another strip has (stop).
bool LabelStripAlone(DetectWork& table, IntImage& columns, std::vector<ReachedPixel>* reached,
                     const GrayImage& image, const PixelTest& test, int a, int b, int Y1, int n,
                     std::size_t budget, std::atomic<bool>& stop)
{
    std::vector<std::uint64_t> bits, reach;
    bool reaching = reached != nullptr;
    if (reaching)
        ColumnBits(image[a - 1] + Y1, n, test, reach);  // every object pixel there counts
    for (int x = a; x < b; ++x) {
        if (stop.load(std::memory_order_relaxed))
            return false;
        ColumnBits(image[x] + Y1, n, test, bits);
        bool any = false;
        if (reaching) {
            any = ReachDown(bits, reach);
            reaching = any;  // nothing reached in this column: nothing further right either
            for (std::size_t w = 0; any && w < bits.size(); ++w)
                bits[w] &= ~reach[w];
        }
        std::int32_t* column = LabelColumn(columns, x);
        const std::int32_t* left = x == a ? nullptr : LabelColumn(columns, x - 1);
        table.Reserve(static_cast<std::size_t>(n / 2 + 1));
        if (left == nullptr) {
            LabelSparseColumn(table, bits.data(), n, column, nullptr, x, Y1);
        } else if (CountRuns(bits, n) * 8 > n) {
            LabelDenseColumn(table, bits.data(), n, column, left, x, Y1);
        } else {
            LabelSparseColumn(table, bits.data(), n, column, left, x, Y1);
        }
        if (!any)
            continue;
        for (int i = 0; i < n; ++i)
            if ((reach[static_cast<std::size_t>(i >> 6)] >> (i & 63)) & 1) {
                const int y = Y1 + i;
                reached->push_back({x, y, left != nullptr ? left[y] : kUnlabelled,
                                    i > 0 ? column[y - 1] : kUnlabelled});
            }
        if (reached->size() > budget) {
            stop.store(true, std::memory_order_relaxed);
            return false;
        }
    }
    return true;
}

// Counts pixel (x, y) into the record of label, as GrowLabel does.
void Grow(LabelRecord& r, int x, int y)
{
    ++r.area;
    r.maxX = std::max(r.maxX, x);
    r.maxY = std::max(r.maxY, y);
}

// The label table while the strips' records still lie in the strips' own
// tables: label g of strip k is record g − offset[k] of that table. Its parent
// and root fields are kept relative to offset[k] too, so that a parent in an
// earlier strip (which only the reached pixels set) reads back as a negative
// local value and stays exact.
struct SplitTable {
    const std::vector<std::int32_t>& offset;  // strip k's first label; one past the end
    std::vector<LabelRecord*> records;        // strip k's table

    struct Ref {
        LabelRecord& r;
        std::int32_t off;
        std::int32_t Parent() const { return r.parent + off; }
        void SetParent(std::int32_t g) const { r.parent = r.root = g - off; }
    };
    Ref operator[](std::int32_t g) const
    {
        const auto k = static_cast<std::size_t>(
            std::upper_bound(offset.begin() + 1, offset.end() - 1, g) - offset.begin() - 1);
        return {records[k][g - offset[k]], offset[k]};
    }
};

// RootOf that lists each label whose parent it moves (moved), so that the
// resolution knows which labels may now point into another strip.
std::int32_t RootNoting(const SplitTable& table, std::int32_t a, std::vector<std::int32_t>& moved)
{
    for (std::int32_t p = table[a].Parent(); p != a; p = table[a].Parent()) {
        const SplitTable::Ref r = table[a];
        r.r.parent = table[p].Parent() - r.off;
        moved.push_back(a);
        a = r.Parent();
    }
    return a;
}

// The reached pixels of strip s (columns a .. b − 1, labels from offset on),
// in scan order, by the pixel rules. leftColumn holds the final labels of
// column a − 1; the labels given in the strip's last two columns are also
// written into its label columns (columns).
void LabelReached(const SplitTable& table, DetectStrip& s, IntImage& columns,
                  const std::int32_t* leftColumn, int a, int b, std::int32_t offset,
                  std::vector<std::int32_t>& moved)
{
    const auto global = [offset](std::int32_t label) {
        return label == kUnlabelled ? kUnlabelled : label + offset;
    };
    for (const ReachedPixel& p : s.reached) {
        const auto row = static_cast<std::size_t>(p.y);
        const std::int32_t L = p.x == a ? leftColumn[p.y]
                               : s.rowColumn[row] == p.x - 1 ? s.rowLabel[row]
                                                             : global(p.left);
        const std::int32_t U = p.y > 0 && s.rowColumn[row - 1] == p.x ? s.rowLabel[row - 1]
                                                                       : global(p.up);
        // At least one of them is labelled: the pixel is reached through it.
        const std::int32_t label = static_cast<std::int32_t>(
            std::min(static_cast<std::uint32_t>(L), static_cast<std::uint32_t>(U)));
        Grow(table[label].r, p.x, p.y);
        if (L != kUnlabelled && U != kUnlabelled && L != U) {
            const std::int32_t rootL = RootNoting(table, L, moved);
            const std::int32_t rootU = RootNoting(table, U, moved);
            if (rootL != rootU) {
                const std::int32_t high = std::max(rootL, rootU);
                table[high].SetParent(std::min(rootL, rootU));
                moved.push_back(high);
            }
        }
        s.rowColumn[row] = p.x;
        s.rowLabel[row] = label;
        if (p.x >= b - 2)
            LabelColumn(columns, p.x)[p.y] = label;
    }
}

void Fold(LabelRecord& into, const LabelRecord& r)
{
    into.area += r.area;
    into.minX = std::min(into.minX, r.minX);
    into.minY = std::min(into.minY, r.minY);
    into.maxX = std::max(into.maxX, r.maxX);
    into.maxY = std::max(into.maxY, r.maxY);
}

// ResolveLabels over the labels lo .. hi − 1 of one strip, whose records are
// read from local (relative to lo, as in SplitTable) and written to their
// place in records: the copy into the whole table costs no pass of its own. A
// label's parent lies in its own strip unless the reached pixels moved it; the
// roots of the moved labels are already in their root fields. Records whose
// root lies in an earlier strip are listed in deferred and folded afterwards,
// so that no two threads write one record.
void ResolveStrip(LabelRecord* records, const LabelRecord* local, std::int32_t lo, std::int32_t hi,
                  std::vector<std::int32_t>& deferred)
{
    deferred.clear();
    for (std::int32_t i = lo; i < hi; ++i) {
        LabelRecord r = local[i - lo];
        const std::int32_t parent = r.parent + lo;
        const std::int32_t root = parent == i ? i : parent >= lo ? records[parent].root : r.root + lo;
        r.parent = root;
        r.root = root;
        records[i] = r;
        if (root == i)
            continue;
        if (root >= lo)
            Fold(records[root], r);
        else
            deferred.push_back(i);
    }
}

int StripCount(const DetectWork& work, int columns, int n)
{
    const long long wanted =
        work.strips > 0 ? work.strips
        : static_cast<long long>(columns) * n >= kPixelsToShare ? WorkerCount() * kStripsPerWorker
                                                                : 1;
    return static_cast<int>(std::max(1LL, std::min(wanted, static_cast<long long>(columns / 2))));
}

}  // namespace

void TakeInTurn(int count, const std::function<void(int)>& task)
{
    std::atomic<int> next{0};
    ParallelFor(0, std::max(1, std::min(WorkerCount(), count)), 1, [&](int, int) {
        for (int k = next.fetch_add(1); k < count; k = next.fetch_add(1))
            task(k);
    });
}

bool LabelInStrips(DetectWork& work, const GrayImage& image, IntImage& labels,
                   const PixelTest& test, int X1, int Y1, int lastX, int n)
{
    const StripBounds bounds{X1, lastX - X1 + 1, StripCount(work, lastX - X1 + 1, n)};
    if (bounds.count <= 1 || work.count != 0)
        return false;
    const int last = bounds.count - 1;
    if (static_cast<int>(work.stripWork.size()) < last)
        work.stripWork.resize(static_cast<std::size_t>(last));
    const auto height = static_cast<std::size_t>(Y1) + static_cast<std::size_t>(n);
    for (int k = 1; k <= last; ++k) {
        DetectStrip& s = work.stripWork[static_cast<std::size_t>(k - 1)];
        s.table.count = 0;
        s.reached.clear();
        // The last strip labels into the caller's columns: they end as the region's last two.
        if (k < last && (!s.columns || s.columnsHeight < static_cast<int>(height))) {
            s.columns = NewIntImage(2, static_cast<int>(height));
            s.columnsHeight = s.columns ? static_cast<int>(height) : 0;
            if (!s.columns)
                return false;
        }
    }
    // Strip 0 labels straight into work, its columns into a pair of its own.
    IntImage firstColumns = NewIntImage(2, static_cast<int>(height));
    if (!firstColumns)
        return false;
    const auto columnsOf = [&](int k) -> IntImage& {
        return k == last ? labels
               : k == 0  ? firstColumns
                         : work.stripWork[static_cast<std::size_t>(k - 1)].columns;
    };

    std::atomic<bool> stop{false};
    TakeInTurn(bounds.count, [&](int k) {
        const int a = bounds.Begin(k), b = bounds.Begin(k + 1);
        if (k == 0) {
            LabelStripAlone(work, columnsOf(0), nullptr, image, test, a, b, Y1, n, 0, stop);
            return;
        }
        DetectStrip& s = work.stripWork[static_cast<std::size_t>(k - 1)];
        // At most one pixel in eight, and 16 MB of list, wait for the join.
        const std::size_t budget = std::min<std::size_t>(
            static_cast<std::size_t>(b - a) * static_cast<std::size_t>(n) / 8 + 64,
            std::size_t{1} << 20);
        LabelStripAlone(s.table, columnsOf(k), &s.reached, image, test, a, b, Y1, n, budget, stop);
    });
    if (stop.load()) {
        work.count = 0;  // the one-strip scan starts over; it rewrites every column it reads
        return false;
    }

    // The labels of strip k are the one-strip scan's less offset[k].
    std::vector<std::int32_t> offset(static_cast<std::size_t>(bounds.count) + 1);
    offset[1] = work.count;
    for (int k = 1; k <= last; ++k)
        offset[static_cast<std::size_t>(k) + 1] =
            offset[static_cast<std::size_t>(k)] + work.stripWork[static_cast<std::size_t>(k - 1)].table.count;
    const std::int32_t total = offset[static_cast<std::size_t>(bounds.count)];
    work.Reserve(static_cast<std::size_t>(total - work.count));
    LabelRecord* const records = work.Records();
    SplitTable table{offset, {records}};
    for (int k = 1; k <= last; ++k) {
        DetectStrip& s = work.stripWork[static_cast<std::size_t>(k - 1)];
        const std::int32_t off = offset[static_cast<std::size_t>(k)];
        table.records.push_back(s.table.Records());
        // The columns the next strip's reached pixels and the caller read.
        const int b = bounds.Begin(k + 1);
        for (int x = k == last ? b - 2 : b - 1; x < b; ++x) {
            std::int32_t* column = LabelColumn(columnsOf(k), x);
            for (int y = Y1; y < Y1 + n; ++y)
                column[y] += column[y] == kUnlabelled ? 0 : off;
        }
        s.rowColumn.assign(height, -1);
        s.rowLabel.resize(height);
    }
    work.count = total;

    // The reached pixels, strip after strip: each needs the final labels of
    // the column left of its strip.
    std::vector<std::int32_t> moved;
    for (int k = 1; k <= last; ++k) {
        const int a = bounds.Begin(k), b = bounds.Begin(k + 1);
        const IntImage& leftColumns = columnsOf(k - 1);
        LabelReached(table, work.stripWork[static_cast<std::size_t>(k - 1)], columnsOf(k),
                     leftColumns[(a - 1) & 1], a, b, offset[static_cast<std::size_t>(k)], moved);
    }
    for (const std::int32_t label : moved) {
        std::int32_t root = label;
        for (std::int32_t p = table[root].Parent(); p != root; p = table[root].Parent())
            root = p;
        const SplitTable::Ref r = table[label];
        r.r.root = root - r.off;
    }

    // ResolveLabels, strip by strip on the workers, then the folds across strips.
    std::vector<std::int32_t> firstDeferred;
    TakeInTurn(bounds.count, [&](int k) {
        ResolveStrip(records, table.records[static_cast<std::size_t>(k)], offset[static_cast<std::size_t>(k)],
                     offset[static_cast<std::size_t>(k) + 1],
                     k == 0 ? firstDeferred : work.stripWork[static_cast<std::size_t>(k - 1)].deferred);
    });
    for (int k = 1; k <= last; ++k)
        for (const std::int32_t i : work.stripWork[static_cast<std::size_t>(k - 1)].deferred)
            Fold(records[records[i].root], records[i]);
    return true;
}

}  // namespace detect_columns
