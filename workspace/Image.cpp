// workspace/Image.cpp
#include "Image.h"
#include "Extended.h"
#include "Trace.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include <sys/mman.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define GRAYBENCH_POISON(block, bytes) ASAN_POISON_MEMORY_REGION(block, bytes)
#define GRAYBENCH_UNPOISON(block, bytes) ASAN_UNPOISON_MEMORY_REGION(block, bytes)
#else
#define GRAYBENCH_POISON(block, bytes) ((void)(block), (void)(bytes))
#define GRAYBENCH_UNPOISON(block, bytes) ((void)(block), (void)(bytes))
#endif

namespace {

using i64 = std::int64_t;

int SaturateToInt(i64 v)
{
    return static_cast<int>(std::clamp<i64>(v, INT_MIN, INT_MAX));
}

int TruncateToInt(float v)
{
    if (!(v == v))  // not a number
        return 0;
    if (v >= 2147483648.0f)
        return INT_MAX;
    if (v <= -2147483648.0f)
        return INT_MIN;
    return static_cast<int>(v);
}

// Largest s with s * s <= n.
i64 IntegerSqrt(i64 n)
{
    i64 s = static_cast<i64>(std::sqrt(static_cast<long double>(n)));
    while (s > 0 && s * s > n)
        --s;
    while ((s + 1) * (s + 1) <= n)
        ++s;
    return s;
}

void SetIfInside(GrayImage& image, std::uint8_t value, i64 x, i64 y, int width, int height)
{
    if (x >= 0 && x < width && y >= 0 && y < height)
        image[static_cast<int>(x)][static_cast<int>(y)] = value;
}

constexpr std::size_t kLargePage = 2 << 20;

struct HeldBlock {
    void* block;
    std::size_t bytes;
};

// Freed large blocks, oldest first. A held block is poisoned in sanitizer
// builds, so a use after its array went away is still reported.
struct LargeBlockPool {
    std::mutex mutex;
    std::vector<HeldBlock> held;
    std::size_t heldBytes = 0, limit = 0;

    // Takes the oldest blocks out until at most keep bytes remain (under mutex).
    std::vector<HeldBlock> TrimTo(std::size_t keep)
    {
        std::size_t drop = 0;
        std::size_t bytes = heldBytes;
        while (drop < held.size() && bytes > keep)
            bytes -= held[drop++].bytes;
        std::vector<HeldBlock> gone(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(drop));
        held.erase(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(drop));
        heldBytes = bytes;
        return gone;
    }
};

// Never destroyed: images in static storage may give their blocks back at exit.
LargeBlockPool& Pool()
{
    static auto* pool = new LargeBlockPool;
    return *pool;
}

void FreeLargeBlock(const HeldBlock& b)
{
    GRAYBENCH_UNPOISON(b.block, b.bytes);
    ::operator delete[](b.block, std::align_val_t(kLargePage));
}

void FreeLargeBlocks(const std::vector<HeldBlock>& blocks)
{
    for (const HeldBlock& b : blocks)
        FreeLargeBlock(b);
}

}  // namespace

void AdviseLargeBlock(void* block, std::size_t bytes)
{
    // The block starts on a large-page boundary.
    madvise(block, bytes & ~(kLargePage - 1), MADV_HUGEPAGE);  // only a hint; may be refused
}

void* TakeLargeBlock(std::size_t bytes)
{
    LargeBlockPool& pool = Pool();
    {
        const std::lock_guard lock(pool.mutex);
        for (auto it = pool.held.rbegin(); it != pool.held.rend(); ++it) {
            if (it->bytes != bytes)
                continue;
            void* block = it->block;
            pool.heldBytes -= bytes;
            pool.held.erase(std::next(it).base());
            GRAYBENCH_UNPOISON(block, bytes);
            return block;
        }
    }
    void* block = ::operator new[](bytes, std::align_val_t(kLargePage), std::nothrow);
    if (block == nullptr) {  // the held blocks of other sizes may be what is missing
        std::vector<HeldBlock> gone;
        {
            const std::lock_guard lock(pool.mutex);
            gone = pool.TrimTo(0);
        }
        if (gone.empty())
            return nullptr;
        FreeLargeBlocks(gone);
        block = ::operator new[](bytes, std::align_val_t(kLargePage), std::nothrow);
        if (block == nullptr)
            return nullptr;
    }
    AdviseLargeBlock(block, bytes);
    return block;
}

void GiveBackLargeBlock(void* block, std::size_t bytes)
{
    if (block == nullptr)
        return;
    LargeBlockPool& pool = Pool();
    std::vector<HeldBlock> gone;
    {
        const std::lock_guard lock(pool.mutex);
        if (bytes > pool.limit) {
            gone.push_back({block, bytes});
        } else {
            gone = pool.TrimTo(pool.limit - bytes);
            GRAYBENCH_POISON(block, bytes);
            pool.held.push_back({block, bytes});
            pool.heldBytes += bytes;
        }
    }
    FreeLargeBlocks(gone);  // outside the lock: giving pages back takes a while
}

void KeepFreedLargeBlocks(std::size_t bytes)
{
    LargeBlockPool& pool = Pool();
    std::vector<HeldBlock> gone;
    {
        const std::lock_guard lock(pool.mutex);
        pool.limit = bytes;
        gone = pool.TrimTo(bytes);
    }
    FreeLargeBlocks(gone);
}

std::size_t FreedLargeBlockBytes()
{
    LargeBlockPool& pool = Pool();
    const std::lock_guard lock(pool.mutex);
    return pool.heldBytes;
}

GrayImage NewGrayImage(int width, int height) { return GrayImage::Allocate(width, height); }

void FreeGrayImage(GrayImage& image, int /*width*/) { image = GrayImage(); }

void CopyGrayImage(const GrayImage& src, GrayImage& dst, int width, int height)
{
    if (width <= 0 || height <= 0)
        return;
    const std::size_t column = static_cast<std::size_t>(height);
    const std::size_t span = column * static_cast<std::size_t>(width - 1);
    // Arrays from NewGrayImage keep their columns back to back: one copy does.
    if (src[width - 1] == src[0] + span && dst[width - 1] == dst[0] + span) {
        std::memcpy(dst[0], src[0], span + column);
        return;
    }
    for (int x = 0; x < width; ++x)
        std::memcpy(dst[x], src[x], column);
}

IntImage NewIntImage(int columns, int rows) { return IntImage::Allocate(columns, rows); }
void FreeIntImage(IntImage& image, int, int) { image = IntImage(); }
FloatImage NewFloatImage(int columns, int rows) { return FloatImage::Allocate(columns, rows); }
void FreeFloatImage(FloatImage& image, int, int) { image = FloatImage(); }
IntMatrix NewIntMatrix(int columns, int rows) { return IntMatrix::Allocate(columns, rows); }
void FreeIntMatrix(IntMatrix& matrix, int, int) { matrix = IntMatrix(); }

void SortAscending(double* a, int count)
{
    for (int i = 1; i < count; ++i) {
        const double key = a[i];
        int j = i - 1;
        while (j >= 0 && a[j] > key) {  // strictly greater: equal values keep their order
            a[j + 1] = a[j];
            --j;
        }
        a[j + 1] = key;
    }
}

void LineThroughPoints(int x1, int y1, int x2, int y2, float& a, float& b, const TraceSink* trace)
{
    const float fx1 = static_cast<float>(x1), fy1 = static_cast<float>(y1);
    const float fx2 = static_cast<float>(x2), fy2 = static_cast<float>(y2);
    const float det = fx1 - fx2;
    float slope, intercept;
    if (det == 0.0f) {  // vertical: the slope 10000 is the marker, b the column
        slope = 10000.0f;
        intercept = fx1;
    } else {
        slope = (fy1 - fy2) / det;
        const float p = fx1 * fy2;  // each product rounded to single precision on its own
        const float q = fx2 * fy1;
        intercept = (p - q) / det;
    }
    TraceLine(trace, "#############\n");
    TraceLine(trace, "x1 = %d y1 = %d x2 = %d y2 = %d\n", x1, y1, x2, y2);
    TraceLine(trace, "a = %f b = %f\n", static_cast<double>(slope), static_cast<double>(intercept));
    a = slope;
    b = intercept;
}

std::int32_t Determinant3(const IntMatrix& m)
{
    // Unsigned arithmetic gives the two's-complement wrap-around without overflow.
    auto u = [&](int i, int j) { return static_cast<std::uint32_t>(m[i][j]); };
    std::uint32_t d = u(0, 0) * u(1, 1) * u(2, 2);
    d -= u(0, 0) * u(1, 2) * u(2, 1);
    d -= u(0, 1) * u(1, 0) * u(2, 2);
    d += u(0, 1) * u(1, 2) * u(2, 0);
    d += u(0, 2) * u(1, 0) * u(2, 1);
    d -= u(0, 2) * u(1, 1) * u(2, 0);
    return static_cast<std::int32_t>(d);
}

void DrawLine(GrayImage& image, std::uint8_t value, int x1, int y1, int x2, int y2, int width,
              int height)
{
    // Visit t (0 <= t < L) lies at major = M0 + sM·t and minor = m0 + sm·k(t), with
    // k(t) = floor((2S·t + L) / (2L)): the closed form of the Bresenham error walk
    // e = 2S − L, "if e >= 0 step the minor axis". So the walk can start at the
    // first visit inside the image and stop after the last one.
    const i64 ddx = static_cast<i64>(x2) - x1, ddy = static_cast<i64>(y2) - y1;
    const int sx = ddx < 0 ? -1 : 1, sy = ddy < 0 ? -1 : 1;
    const bool steep = std::abs(ddy) > std::abs(ddx);
    const i64 L = steep ? std::abs(ddy) : std::abs(ddx);
    const i64 S = steep ? std::abs(ddx) : std::abs(ddy);
    if (L == 0)
        return;
    const i64 M0 = steep ? y1 : x1, m0 = steep ? x1 : y1;
    const int sM = steep ? sy : sx, sm = steep ? sx : sy;
    const i64 majorLimit = steep ? height : width, minorLimit = steep ? width : height;
    if (majorLimit <= 0 || minorLimit <= 0)
        return;
    // Visits whose major coordinate lies in 0 <= M0 + sM·t < majorLimit.
    i64 first, last;
    if (sM > 0) {
        first = -M0;
        last = majorLimit - 1 - M0;
    } else {
        first = M0 - (majorLimit - 1);
        last = M0;
    }
    first = std::max<i64>(first, 0);
    last = std::min<i64>(last, L - 1);
    if (first > last)
        return;
    const __int128 twoS = 2 * static_cast<__int128>(S), twoL = 2 * static_cast<__int128>(L);
    i64 k = static_cast<i64>((twoS * first + L) / twoL);
    // Error term before visit t: e = 2S − L + 2S·t − 2L·k(t), always within (−2L, 2S].
    i64 e = static_cast<i64>(twoS - L + twoS * first - twoL * k);
    i64 major = M0 + sM * first;
    i64 minor = m0 + sm * k;
    for (i64 t = first; t <= last; ++t) {
        if (minor >= 0 && minor < minorLimit) {
            if (steep)
                image[static_cast<int>(minor)][static_cast<int>(major)] = value;
            else
                image[static_cast<int>(major)][static_cast<int>(minor)] = value;
        }
        if (e >= 0) {
            minor += sm;
            e -= 2 * L;
        }
        major += sM;
        e += 2 * S;
    }
}

void DrawCircle(GrayImage& image, int radius, std::uint8_t value, int cx, int cy, int width,
                int height)
{
    // The quarter path starts at (0, r) relative to the centre, steps right while
    // d = u² + v² − r² <= 0 and down otherwise. A circle of the image's scale is
    // walked so. For a larger one, note that row v (1 <= v <= r) is visited for u
    // from s(v + 1) to s(v), where s(v) = floor(sqrt(r² − v²)) + 1 and s(r + 1) = 0,
    // and the walk ends on row 0 at u = s(1) = r: then only the rows and columns
    // inside the image are visited, and an enormous circle costs no more than a
    // small one.
    if (radius < 0 || width <= 0 || height <= 0)
        return;
    const i64 r = radius, r2 = r * r;
    if (r == 0) {
        SetIfInside(image, value, cx, cy, width, height);
        return;
    }
    if (r <= 2 * (static_cast<i64>(width) + height)) {
        // A circle of the image's scale: the plain walk of about 2r steps is cheapest.
        i64 u = 0, v = r, d = 0;
        while (v > 0) {
            SetIfInside(image, value, cx + u, cy + v, width, height);
            SetIfInside(image, value, cx + u, cy - v, width, height);
            SetIfInside(image, value, cx - u, cy + v, width, height);
            SetIfInside(image, value, cx - u, cy - v, width, height);
            if (d > 0) {
                d -= 2 * v - 1;
                --v;
            } else {
                d += 2 * u + 1;
                ++u;
            }
        }
        SetIfInside(image, value, cx + u, cy, width, height);
        SetIfInside(image, value, cx + u - 2 * r, cy, width, height);
        return;
    }
    auto s = [&](i64 v) { return v > r ? i64{0} : IntegerSqrt(r2 - v * v) + 1; };
    const i64 yFirst = std::max<i64>(0, static_cast<i64>(cy) - r);
    const i64 yLast = std::min<i64>(height - 1, static_cast<i64>(cy) + r);
    for (i64 y = yFirst; y <= yLast; ++y) {
        const i64 v = y > cy ? y - cy : cy - y;
        if (v == 0)
            continue;
        const i64 lo = s(v + 1), hi = s(v);
        // Right half: x = cx + u; left half: x = cx − u.
        const i64 rightFirst = std::max<i64>(static_cast<i64>(cx) + lo, 0);
        const i64 rightLast = std::min<i64>(static_cast<i64>(cx) + hi, width - 1);
        for (i64 x = rightFirst; x <= rightLast; ++x)
            image[static_cast<int>(x)][static_cast<int>(y)] = value;
        const i64 leftFirst = std::max<i64>(static_cast<i64>(cx) - hi, 0);
        const i64 leftLast = std::min<i64>(static_cast<i64>(cx) - lo, width - 1);
        for (i64 x = leftFirst; x <= leftLast; ++x)
            image[static_cast<int>(x)][static_cast<int>(y)] = value;
    }
    SetIfInside(image, value, static_cast<i64>(cx) + r, cy, width, height);
    SetIfInside(image, value, static_cast<i64>(cx) - r, cy, width, height);
}

void DrawRotatedRect(GrayImage& image, std::uint8_t value, float angle, int x1, int y1, int x2,
                     int y2, int width, int height)
{
    const float hw = static_cast<float>(std::abs(static_cast<i64>(x2) - x1)) * 0.5f;
    const float hh = static_cast<float>(std::abs(static_cast<i64>(y2) - y1)) * 0.5f;
    const int cx = TruncateToInt(static_cast<float>(x1) + hw);
    const int cy = TruncateToInt(static_cast<float>(y1) + hh);
    const int ax = TruncateToInt(hw), ay = TruncateToInt(hh);
    int px[2][2], py[2][2];  // [sx][sy], index 0 for −1 and 1 for +1
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j) {
            int ox, oy;
            RotatePoint(SaturateToInt(static_cast<i64>(i ? 1 : -1) * ax),
                        SaturateToInt(static_cast<i64>(j ? 1 : -1) * ay), ox, oy, angle);
            px[i][j] = SaturateToInt(static_cast<i64>(cx) + ox);
            py[i][j] = SaturateToInt(static_cast<i64>(cy) + oy);
        }
    DrawLine(image, value, px[0][0], py[0][0], px[0][1], py[0][1], width, height);
    DrawLine(image, value, px[0][0], py[0][0], px[1][0], py[1][0], width, height);
    DrawLine(image, value, px[1][0], py[1][0], px[1][1], py[1][1], width, height);
    DrawLine(image, value, px[0][1], py[0][1], px[1][1], py[1][1], width, height);
}

void RotatePoint(int x, int y, int& xOut, int& yOut, float angle)
{
    // The angle times pi in double, then times 1/180 in extended precision.
    const double product = static_cast<double>(angle) * 3.141592654;
    const long double theta = Ext(static_cast<long double>(product) * Ext(1.0L / 180.0L));
    const long double c = Ext(std::cos(theta)), s = Ext(std::sin(theta));
    const float p = static_cast<float>(Ext(Ext(c * x) + Ext(s * y)));
    const float q = static_cast<float>(Ext(Ext(c * y) - Ext(s * x)));
    xOut = RoundHalfAway(p);
    yOut = RoundHalfAway(q);
}

std::int32_t RoundHalfAway(float v)
{
    if (!(v == v))
        return 0;
    if (v >= 2147483647.0f)
        return INT_MAX;
    if (v <= -2147483648.0f)
        return INT_MIN;
    const float t = std::trunc(v);
    const float f = v - t;
    const std::int32_t ti = static_cast<std::int32_t>(t);
    if (f >= 0.5f || f <= -0.5f)
        return v > 0 ? ti + 1 : ti - 1;
    return ti;
}
