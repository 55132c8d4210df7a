// workspace/Image.h
#pragma once

class TraceSink;
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#if defined(GRAYBENCH_GUARD_COLUMNS)
#include <sanitizer/asan_interface.h>
#endif

// Asks the system to back a block of several megabytes with large pages: a
// fresh picture then costs a few hundred page faults instead of thousands.
void AdviseLargeBlock(void* block, std::size_t bytes);

// Blocks of several megabytes (images, pictures) start on a large-page
// boundary and come from a small pool of freed ones: an image of the size a
// freed one had gets its pages, already there, instead of fresh pages the
// system must clear first (on this kind of machine the larger cost of a Load).
// Contents of a block are undefined. Null when memory runs out; the pool gives
// everything back to the system before it says so.
void* TakeLargeBlock(std::size_t bytes);
// block and bytes as TakeLargeBlock gave them. Kept while the pool holds at
// most its limit; the oldest blocks go back to the system first.
void GiveBackLargeBlock(void* block, std::size_t bytes);
// The pool's limit in bytes: 0 (the default) keeps nothing. The window sets it
// to what one picture of the loaded size needs, and to 0 when it closes.
// Lowering it frees at once what no longer fits.
void KeepFreedLargeBlocks(std::size_t bytes);
std::size_t FreedLargeBlockBytes();  // what the pool holds now

// Column-first arrays: a[x] is column x, a[x][y] the element in row y (row 0 at
// the top). Each column is contiguous, and all columns of one array share one
// block, column after column, so column x + 1 starts right after column x. The
// array does not record its size: whoever walks it passes the width and height
// in. Contents of a fresh array are undefined; the caller fills what it reads.
//
// Sanitizer builds (GRAYBENCH_GUARD_COLUMNS) put a poisoned gap before every
// column instead, and after the last: an element read or written past either
// end of a column is reported, where it would otherwise land unseen in the
// neighbouring column. Nothing may rely on the columns being back to back.
template <class T>
class ColumnArray {
public:
    ColumnArray() = default;                        // "none"
    ColumnArray(ColumnArray&&) noexcept = default;  // movable, not copyable:
    ColumnArray& operator=(ColumnArray&&) noexcept = default;  // see CopyGrayImage
    T* operator[](int x) { return columns_[x]; }
    const T* operator[](int x) const { return columns_[x]; }
    explicit operator bool() const { return columns_ != nullptr; }

    // Empty ("none") if memory runs out or a size is negative. A zero size gives
    // an array that exists and has no elements.
    static ColumnArray Allocate(int columns, int rows);
    // Bytes of the block Allocate takes for such an array; 0 when it cannot.
    static std::size_t BlockBytes(int columns, int rows);

private:
    // Blocks of several megabytes start on a large-page boundary, others on a cache line.
    static constexpr std::size_t kLargeBlock = 4 << 20, kLargePage = 2 << 20, kLine = 64;
#if defined(GRAYBENCH_GUARD_COLUMNS)
    static constexpr std::size_t kGuard = 64 / sizeof(T);  // elements of poison around columns
#else
    static constexpr std::size_t kGuard = 0;
#endif
    struct AlignedDelete {
        std::size_t alignment = kLine, bytes = 0;
        void operator()(T* p) const
        {
            if (alignment == kLargePage)
                GiveBackLargeBlock(p, bytes);
            else
                ::operator delete[](p, std::align_val_t(alignment));
        }
    };
    std::unique_ptr<T[], AlignedDelete> block_;
    std::unique_ptr<T*[]> columns_;
};

template <class T>
std::size_t ColumnArray<T>::BlockBytes(int columns, int rows)
{
    if (columns < 0 || rows < 0)
        return 0;
    // Guarded columns start on an 8-byte boundary, the sanitizer's granule, so
    // that the byte just before a column is poisoned too.
    constexpr std::size_t granule = kGuard == 0 || sizeof(T) >= 8 ? 1 : 8 / sizeof(T);
    const std::size_t stride =
        (static_cast<std::size_t>(rows) + granule - 1) / granule * granule + kGuard;
    const std::size_t count = static_cast<std::size_t>(columns) * stride + kGuard;
    if (count > static_cast<std::size_t>(PTRDIFF_MAX) / sizeof(T) - 64)
        return 0;
    // One element more than needed, so that a zero-sized array still has a block.
    return (count + 1) * sizeof(T);
}

template <class T>
ColumnArray<T> ColumnArray<T>::Allocate(int columns, int rows)
{
    ColumnArray a;
    const std::size_t bytes = BlockBytes(columns, rows);
    if (bytes == 0)
        return a;
    constexpr std::size_t granule = kGuard == 0 || sizeof(T) >= 8 ? 1 : 8 / sizeof(T);
    const std::size_t stride =
        (static_cast<std::size_t>(rows) + granule - 1) / granule * granule + kGuard;
    const std::size_t alignment = bytes >= kLargeBlock ? kLargePage : kLine;
    T* block = static_cast<T*>(
        alignment == kLargePage ? TakeLargeBlock(bytes)
                                : ::operator new[](bytes, std::align_val_t(alignment), std::nothrow));
    if (block == nullptr)
        return a;
    a.block_ = std::unique_ptr<T[], AlignedDelete>(block, AlignedDelete{alignment, bytes});
    a.columns_.reset(new (std::nothrow) T*[static_cast<std::size_t>(columns) + 1]);
    if (!a.columns_) {
        a.block_.reset();
        return a;
    }
    for (int x = 0; x < columns; ++x)
        a.columns_[x] = block + kGuard + static_cast<std::size_t>(x) * stride;
    a.columns_[columns] = nullptr;
#if defined(GRAYBENCH_GUARD_COLUMNS)
    ASAN_POISON_MEMORY_REGION(block, kGuard * sizeof(T));
    for (int x = 0; x < columns; ++x)
        ASAN_POISON_MEMORY_REGION(a.columns_[x] + rows,
                                  (stride - static_cast<std::size_t>(rows)) * sizeof(T));
#endif
    return a;
}

using GrayImage = ColumnArray<std::uint8_t>;  // 0 black .. 255 white
using IntImage = ColumnArray<std::int32_t>;
using FloatImage = ColumnArray<float>;
using IntMatrix = ColumnArray<std::int32_t>;  // m[i][j]: element j of column i

GrayImage NewGrayImage(int width, int height);
void FreeGrayImage(GrayImage& image, int width);  // early release; destructors do the rest
// Copies height bytes of each of the width columns. Both arrays hold at least that much.
void CopyGrayImage(const GrayImage& src, GrayImage& dst, int width, int height);

IntImage NewIntImage(int columns, int rows);
void FreeIntImage(IntImage& image, int columns, int rows);
FloatImage NewFloatImage(int columns, int rows);
void FreeFloatImage(FloatImage& image, int columns, int rows);
IntMatrix NewIntMatrix(int columns, int rows);
void FreeIntMatrix(IntMatrix& matrix, int columns, int rows);

// Straight insertion sort, stable: equal values keep their order.
void SortAscending(double* a, int count);

// y = a·x + b through two points, in single precision. A vertical line gives
// a = 10000 and b = its x position. Writes a three-line trace to trace, or to
// the process-wide trace sink (standard output unless set) when it is null.
void LineThroughPoints(int x1, int y1, int x2, int y2, float& a, float& b,
                       const TraceSink* trace = nullptr);

// Determinant of a 3 x 3 matrix in 32-bit arithmetic that wraps on overflow.
std::int32_t Determinant3(const IntMatrix& m);

// Drawing into a gray image. Pixels outside 0 <= x < width, 0 <= y < height are
// skipped one by one; nothing ever fails, and any integer arguments are safe.

// Bresenham line from (x1, y1) up to, but not including, (x2, y2).
void DrawLine(GrayImage& image, std::uint8_t value, int x1, int y1, int x2, int y2, int width,
              int height);
// Circle as a 4-connected path with the exact error term u² + v² − r², mirrored
// into four quarters. Radius 0 sets the centre only; a negative radius sets nothing.
void DrawCircle(GrayImage& image, int radius, std::uint8_t value, int cx, int cy, int width,
                int height);
// Outline of the rectangle spanned by (x1, y1) and (x2, y2), turned by angle
// degrees about its centre.
void DrawRotatedRect(GrayImage& image, std::uint8_t value, float angle, int x1, int y1, int x2,
                     int y2, int width, int height);

// Turns (x, y) by angle degrees; on screen (y down) a positive angle turns
// counter-clockwise: (10, 0) at 90 degrees becomes (0, −10).
void RotatePoint(int x, int y, int& xOut, int& yOut, float angle);

// Halves go away from zero: 2.5 gives 3, −2.5 gives −3. Saturates outside the int range.
std::int32_t RoundHalfAway(float v);
