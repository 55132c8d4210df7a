// tools/Detect_object.cpp
#include "Detect_object.h"

#include "Detect_objectColumns.h"
#include "Parallel.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using detect_columns::TakeInTurn;

// The table of every call that hands in no work: one for the whole process.
DetectWork& Shared()
{
    static DetectWork work;
    return work;
}
LabelRecord& Record(std::int32_t label) { return Shared().Records()[label]; }

// The box of an object in gray 128: the pixels DrawLine sets for its sides
// (minX, minY)-(minX, maxY), (minX, minY)-(maxX, minY), (maxX, minY)-(maxX, maxY)
// and (minX, maxY)-(maxX, maxY), each of which leaves its end point unset. The
// box lies in the region, so inside the image.
void DrawBox(GrayImage& image, const DetectedObject& r)
{
    constexpr std::uint8_t kGray = 128;
    const int w = r.maxX - r.minX, h = r.maxY - r.minY;
    std::uint8_t* left = image[r.minX];
    std::uint8_t* right = image[r.maxX];
    if (w <= 3 && h <= 3) {
        // Most objects of a noisy picture are this small and of every shape:
        // write three pixels a side, the ones past the side's end into a
        // scratch byte, rather than branch on each length.
        std::uint8_t scratch;
        for (int k = 0; k < 3; ++k) {
            const bool down = k < h, across = k < w;
            *(down ? left + r.minY + k : &scratch) = kGray;
            *(down ? right + r.minY + k : &scratch) = kGray;
            std::uint8_t* column = image[std::min(r.minX + k, r.maxX)];
            *(across ? column + r.minY : &scratch) = kGray;
            *(across ? column + r.maxY : &scratch) = kGray;
        }
        return;
    }
    for (int y = r.minY; y < r.maxY; ++y) {
        left[y] = kGray;
        right[y] = kGray;
    }
    for (int x = r.minX; x < r.maxX; ++x) {
        image[x][r.minY] = kGray;
        image[x][r.maxY] = kGray;
    }
}

// The part of DrawBox's pixels that lies in the columns c0 .. c1 − 1.
void DrawBoxPart(GrayImage& image, const DetectedObject& r, int c0, int c1)
{
    constexpr std::uint8_t kGray = 128;
    if (r.minX >= c0 && r.maxX < c1)
        return DrawBox(image, r);
    for (const int x : {r.minX, r.maxX})
        if (x >= c0 && x < c1)
            for (int y = r.minY; y < r.maxY; ++y)
                image[x][y] = kGray;
    for (int x = std::max(r.minX, c0); x < std::min(r.maxX, c1); ++x) {
        image[x][r.minY] = kGray;
        image[x][r.maxY] = kGray;
    }
}

// Tables smaller than this are handled on one thread unless work.strips asks
// for more pieces.
constexpr int kLabelsToShare = 1 << 15;
// Pieces per worker on large tables: a worker that finishes early takes the next.
constexpr int kPiecesPerWorker = 4;
constexpr int kNarrowBox = 8;  // wider boxes go to a list of their own

int PieceCount(const DetectWork& work, int items)
{
    if (work.strips > 0)
        return std::max(1, std::min(work.strips, items));
    return items >= kLabelsToShare ? WorkerCount() * kPiecesPerWorker : 1;
}

// Keeps the roots that touch no side of the region, boxes them in gray 128 in
// ascending root order, then draws the region's frame in gray 100 over them.
// A box's sides run down and across, so DrawBox sets their pixels directly:
// DrawLine's general set-up would cost more than the short sides of small objects.
//
// Both steps are shared among the workers in pieces of columns. A label's
// record keeps the column that opened it as minX, so minX never decreases
// along the table, and piece p's labels are those opened in its columns
// c_p .. c_(p+1) − 1. Each piece gathers its objects into a list of its own;
// then, while one worker joins the lists in order, each piece draws every
// part of a box that falls in its columns: its own objects, the narrow ones
// of the pieces to its left that reach in, and the wide ones of those pieces.
// A pixel is written only by the piece that owns its column, and all boxes are
// one gray, so the order they are drawn in leaves the same picture.
int SelectAndDraw(DetectWork& work, GrayImage& image, ObjectTable& objects, int X1, int Y1, int X2,
                  int Y2, int width, int height)
{
    const int count = work.count;
    const LabelRecord* const records = work.Records();
    const int pieces = count == 0 ? 1 : PieceCount(work, count);
    if (static_cast<int>(work.pieceObjects.size()) < pieces) {
        work.pieceObjects.resize(static_cast<std::size_t>(pieces));
        work.pieceWide.resize(static_cast<std::size_t>(pieces));
    }
    const long long columns = static_cast<long long>(X2) - X1 + 1;
    const auto columnBegin = [&](int p) {
        return static_cast<int>(X1 + columns * p / pieces);
    };
    const auto labelBegin = [&](int p) -> std::int32_t {
        if (p == 0 || count == 0)
            return 0;
        const int c = columnBegin(p);
        return static_cast<std::int32_t>(
            std::partition_point(records, records + count,
                                 [c](const LabelRecord& r) { return r.minX < c; }) -
            records);
    };
    std::vector<std::size_t> found(static_cast<std::size_t>(pieces));
    TakeInTurn(pieces, [&](int p) {
        ObjectTable& list = work.pieceObjects[static_cast<std::size_t>(p)];
        ObjectTable& wide = work.pieceWide[static_cast<std::size_t>(p)];
        wide.clear();
        const std::int32_t first = labelBegin(p), end = labelBegin(p + 1);
        // Grown only, never shrunk: the slots past the count are scratch.
        const auto room = static_cast<std::size_t>(end - first) + 1;
        if (list.size() < room)
            list.resize(room);
        // The roots that touch no side, gathered without a branch per label (on
        // a noisy picture whether a label is such a root is a coin toss): each
        // label is written at the end of the list and kept there only if it
        // qualifies. Wide records are rare, so testing their width first is cheap.
        std::size_t n = 0;
        for (std::int32_t j = first; j < end; ++j) {
            const LabelRecord& r = records[j];
            const bool kept = (r.parent == j) & (r.minX != X1) & (r.minY != Y1) & (r.maxX != X2) &
                              (r.maxY != Y2);
            list[n] = {r.minX, r.minY, r.maxX, r.maxY, r.area};
            if (r.maxX - r.minX > kNarrowBox && kept)
                wide.push_back(list[n]);
            n += static_cast<std::size_t>(kept);
        }
        found[static_cast<std::size_t>(p)] = n;
    });

    std::size_t total = 0;
    for (const std::size_t n : found)
        total += n;
    const auto listOf = [&](int p) {
        const ObjectTable& list = work.pieceObjects[static_cast<std::size_t>(p)];
        return std::span<const DetectedObject>(list.data(), found[static_cast<std::size_t>(p)]);
    };
    // Task 0 joins the lists; task p + 1 draws piece p.
    TakeInTurn(total == 0 ? 1 : pieces + 1, [&](int task) {
        if (task == 0) {
            objects.clear();
            objects.reserve(total);  // one allocation of the exact size
            for (int p = 0; p < pieces; ++p)
                objects.insert(objects.end(), listOf(p).begin(), listOf(p).end());
            return;
        }
        const int p = task - 1;
        const int c0 = columnBegin(p), c1 = columnBegin(p + 1);
        for (const DetectedObject& o : listOf(p))
            DrawBoxPart(image, o, c0, c1);
        // The narrow boxes of the pieces to the left that reach into these
        // columns lie at the ends of their lists, which are in minX order.
        bool more = true;
        for (int q = p - 1; q >= 0 && more; --q) {
            const std::span<const DetectedObject> list = listOf(q);
            for (auto it = list.rbegin(); it != list.rend(); ++it) {
                if (it->minX < c0 - kNarrowBox) {
                    more = false;
                    break;
                }
                if (it->maxX - it->minX <= kNarrowBox && it->maxX >= c0)
                    DrawBoxPart(image, *it, c0, c1);
            }
        }
        for (int q = 0; q < p; ++q)
            for (const DetectedObject& o : work.pieceWide[static_cast<std::size_t>(q)])
                if (o.maxX >= c0)
                    DrawBoxPart(image, o, c0, c1);
    });
    // DrawLine leaves each end point unset: the bottom-right corners stay as they were.
    DrawLine(image, 100, X1, Y1, X1, Y2, width, height);
    DrawLine(image, 100, X1, Y1, X2, Y1, width, height);
    DrawLine(image, 100, X2, Y1, X2, Y2, width, height);
    DrawLine(image, 100, X1, Y2, X2, Y2, width, height);
    return static_cast<int>(objects.size());
}

// The labelling passes trust their region; the entry points, which know the
// image's size, cut it to the image first. A region the window hands in (the
// region rule) is inside already and stays as it is.
void CutToImage(int& X1, int& Y1, int& X2, int& Y2, int width, int height)
{
    X1 = std::max(X1, 0);
    Y1 = std::max(Y1, 0);
    X2 = std::min(X2, width - 1);
    Y2 = std::min(Y2, height - 1);
}

}  // namespace

DetectWork& ProcessDetectWork() { return Shared(); }

int DetectObjects(GrayImage& image, IntImage& labels, ObjectTable& objects, int mode, int t,
                  int X1, int Y1, int X2, int Y2, int width, int height)
{
    return DetectObjects(Shared(), image, labels, objects, mode, t, X1, Y1, X2, Y2, width, height);
}

int DetectObjects(DetectWork& work, GrayImage& image, IntImage& labels, ObjectTable& objects,
                  int mode, int t, int X1, int Y1, int X2, int Y2, int width, int height)
{
    CutToImage(X1, Y1, X2, Y2, width, height);
    ClearLabels(work, labels, height);
    if (mode == 1)
        LabelBrightPixels(work, image, labels, t, X1, Y1, X2, Y2);
    else if (mode == 0)
        LabelDarkPixels(work, image, labels, t, X1, Y1, X2, Y2);
    return SelectAndDraw(work, image, objects, X1, Y1, X2, Y2, width, height);
}

int DetectBandObjects(GrayImage& image, IntImage& labels, ObjectTable& objects, int lower,
                      int upper, int X1, int Y1, int X2, int Y2, int width, int height)
{
    return DetectBandObjects(Shared(), image, labels, objects, lower, upper, X1, Y1, X2, Y2, width,
                             height);
}

int DetectBandObjects(DetectWork& work, GrayImage& image, IntImage& labels, ObjectTable& objects,
                      int lower, int upper, int X1, int Y1, int X2, int Y2, int width, int height)
{
    CutToImage(X1, Y1, X2, Y2, width, height);
    ClearLabels(work, labels, height);
    LabelBandPixels(work, image, labels, lower, upper, X1, Y1, X2, Y2);
    return SelectAndDraw(work, image, objects, X1, Y1, X2, Y2, width, height);
}

namespace {

int CopyObjects(const ObjectTable& found, IntImage& objects)
{
    const int count = static_cast<int>(std::min<std::size_t>(found.size(), kObjectRows));
    for (int j = 0; j < count; ++j) {
        const DetectedObject& o = found[static_cast<std::size_t>(j)];
        objects[0][j] = o.minX;
        objects[1][j] = o.minY;
        objects[2][j] = o.maxX;
        objects[3][j] = o.maxY;
        objects[4][j] = o.area;
    }
    return count;
}

}  // namespace

int DetectObjects(GrayImage& image, IntImage& labels, IntImage& objects, int mode, int t, int X1,
                  int Y1, int X2, int Y2, int width, int height)
{
    return DetectObjects(Shared(), image, labels, objects, mode, t, X1, Y1, X2, Y2, width, height);
}

int DetectObjects(DetectWork& work, GrayImage& image, IntImage& labels, IntImage& objects, int mode,
                  int t, int X1, int Y1, int X2, int Y2, int width, int height)
{
    ObjectTable found;
    DetectObjects(work, image, labels, found, mode, t, X1, Y1, X2, Y2, width, height);
    return CopyObjects(found, objects);
}

int DetectBandObjects(GrayImage& image, IntImage& labels, IntImage& objects, int lower, int upper,
                      int X1, int Y1, int X2, int Y2, int width, int height)
{
    return DetectBandObjects(Shared(), image, labels, objects, lower, upper, X1, Y1, X2, Y2, width,
                             height);
}

int DetectBandObjects(DetectWork& work, GrayImage& image, IntImage& labels, IntImage& objects,
                      int lower, int upper, int X1, int Y1, int X2, int Y2, int width, int height)
{
    ObjectTable found;
    DetectBandObjects(work, image, labels, found, lower, upper, X1, Y1, X2, Y2, width, height);
    return CopyObjects(found, objects);
}

void ClearLabels(IntImage& labels, int /*width*/, int height) { ClearLabels(labels, height); }

void ClearLabels(IntImage& labels, int height) { ClearLabels(Shared(), labels, height); }

void ClearLabels(DetectWork& work, IntImage& labels, int height)
{
    work.count = 0;
    if (height <= 0)
        return;
    // Every byte 0xFF is kUnlabelled (-1) in each element.
    for (int x = 0; x < 2; ++x)
        std::memset(labels[x], 0xFF, static_cast<std::size_t>(height) * sizeof(std::int32_t));
}

void LabelDarkPixels(const GrayImage& image, IntImage& labels, int t, int X1, int Y1, int X2,
                     int Y2)
{
    LabelDarkPixels(Shared(), image, labels, t, X1, Y1, X2, Y2);
}

void LabelBrightPixels(const GrayImage& image, IntImage& labels, int t, int X1, int Y1, int X2,
                       int Y2)
{
    LabelBrightPixels(Shared(), image, labels, t, X1, Y1, X2, Y2);
}

void LabelBandPixels(const GrayImage& image, IntImage& labels, int lower, int upper, int X1,
                     int Y1, int X2, int Y2)
{
    LabelBandPixels(Shared(), image, labels, lower, upper, X1, Y1, X2, Y2);
}

void LabelEdgePixel(IntImage& labels, int x, int y, int X1, int Y1)
{
    if (x == X1 && y == Y1) {
        NewLabel(labels, x, y);
        return;
    }
    // In the first column only the upper neighbour is inside the region, in the
    // first row only the left one.
    const std::int32_t neighbour =
        x == X1 ? LabelColumn(labels, x)[y - 1] : LabelColumn(labels, x - 1)[y];
    if (neighbour == kUnlabelled) {
        NewLabel(labels, x, y);
    } else {
        LabelColumn(labels, x)[y] = neighbour;
        GrowLabel(neighbour, x, y);
    }
}

void LabelInnerPixel(IntImage& labels, int x, int y)
{
    const std::int32_t L = LabelColumn(labels, x - 1)[y], U = LabelColumn(labels, x)[y - 1];
    if (L == kUnlabelled && U == kUnlabelled) {
        NewLabel(labels, x, y);
        return;
    }
    std::int32_t label;
    if (L == kUnlabelled)
        label = U;
    else if (U == kUnlabelled || U == L)
        label = L;
    else
        label = std::min(L, U);
    LabelColumn(labels, x)[y] = label;
    GrowLabel(label, x, y);
    if (L != kUnlabelled && U != kUnlabelled && L != U)
        JoinLabels(L, U);
}

std::int32_t NewLabel(IntImage& labels, int x, int y)
{
    DetectWork& work = Shared();
    work.Reserve(1);
    const std::int32_t n = work.count++;
    Record(n) = {n, 1, x, y, x, y, n};
    LabelColumn(labels, x)[y] = n;
    return n;
}

void GrowLabel(std::int32_t label, int x, int y)
{
    // The pixel that opened a label is its leftmost and topmost in scan order:
    // only the maxima can move.
    LabelRecord& r = Record(label);
    ++r.area;
    r.maxX = std::max(r.maxX, x);
    r.maxY = std::max(r.maxY, y);
}

void JoinLabels(std::int32_t a, std::int32_t b)
{
    const std::int32_t ra = FindRoot(a, a), rb = FindRoot(b, b);
    if (ra == rb)
        return;
    // The smaller root stays root: a root is always the first label of its set.
    const std::int32_t low = std::min(ra, rb), high = std::max(ra, rb);
    Record(high).parent = low;
    Record(high).root = low;
}

std::int32_t FindRoot(std::int32_t a, std::int32_t s)
{
    // Path halving: each label on the way is hung under its grandparent, which
    // is smaller still. Without it, noise builds chains thousands of links long.
    std::int32_t p = a;
    while (Record(p).parent != p) {
        LabelRecord& r = Record(p);
        r.parent = Record(r.parent).parent;
        p = r.parent;
    }
    Record(s).root = p;
    return p;
}

void ResolveLabels() { ResolveLabels(Shared()); }

void ResolveLabels(DetectWork& work)
{
    const int count = work.count;
    if (count == 0)
        return;
    LabelRecord* const records = work.Records();
    for (std::int32_t i = 0; i < count; ++i) {
        LabelRecord& r = records[i];
        // Ascending order: the parent is smaller and already knows its root.
        const std::int32_t root = r.parent == i ? i : records[r.parent].root;
        r.parent = root;
        r.root = root;
        // A root folds into the scratch record instead: no branch on a test
        // that noise makes a coin toss.
        LabelRecord& into = records[root == i ? kUnlabelled : root];
        into.area += r.area;
        into.minX = std::min(into.minX, r.minX);
        into.minY = std::min(into.minY, r.minY);
        into.maxX = std::max(into.maxX, r.maxX);
        into.maxY = std::max(into.maxY, r.maxY);
    }
}

int LabelCount() { return Shared().LabelCount(); }

std::span<const LabelRecord> LabelTable() { return Shared().LabelTable(); }

void DetectWork::Reserve(std::size_t extra)
{
    const std::size_t needed = static_cast<std::size_t>(count) + extra;
    if (needed <= capacity)
        return;
    // Records are plain data: growing copies them as bytes, and a fresh slot
    // needs no initialisation.
    const std::size_t grown = std::max(needed, capacity * 2);
    std::unique_ptr<LabelRecord[]> bigger(new LabelRecord[grown + 1]);
    if (count > 0)
        std::memcpy(bigger.get() + 1, Records(),
                    static_cast<std::size_t>(count) * sizeof(LabelRecord));
    block = std::move(bigger);
    block[0] = {};
    capacity = grown;
}

std::span<const LabelRecord> DetectWork::LabelTable() const
{
    if (count == 0)
        return {};
    return {block.get() + 1, static_cast<std::size_t>(count)};
}
