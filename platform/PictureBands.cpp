// platform/PictureBands.cpp
#include "PictureBands.h"

#include "Parallel.h"
#include "Rows.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace {

// Bytes of fresh picture the finishing thread faults in ahead of the decoder,
// and at a time: a large page.
constexpr std::size_t kFaultAhead = 16 << 20, kFaultStep = 2 << 20, kPage = 4096;

std::uint8_t GrayOf(int r, int g, int b) { return static_cast<std::uint8_t>((r + g + b) / 3); }

// (r + g + b) / 3 of a 0xAARRGGBB pixel, as a multiply and shift that the
// compiler turns into vector code: exact for every sum up to 765.
std::uint8_t GrayOfPixel(std::uint32_t p)
{
    const std::uint32_t sum = ((p >> 16) & 255) + ((p >> 8) & 255) + (p & 255);
    return static_cast<std::uint8_t>((sum * 43691u) >> 17);
}

// Gray values of picture rows [y0, y0 + rows) into strip (row-major, width per row).
void GrayRows(const QImage& picture, int y0, int rows, std::uint8_t* strip)
{
    const int width = picture.width();
    const QImage::Format format = picture.format();
    if (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32) {
        for (int r = 0; r < rows; ++r) {
            const auto* line = reinterpret_cast<const std::uint32_t*>(picture.constScanLine(y0 + r));
            std::uint8_t* out = strip + static_cast<std::size_t>(r) * width;
            for (int x = 0; x < width; ++x)
                out[x] = GrayOfPixel(line[x]);
        }
    } else if (format == QImage::Format_RGB888 || format == QImage::Format_BGR888) {
        for (int r = 0; r < rows; ++r) {
            const std::uint8_t* line = picture.constScanLine(y0 + r);
            std::uint8_t* out = strip + static_cast<std::size_t>(r) * width;
            for (int x = 0; x < width; ++x)
                out[x] = GrayOf(line[3 * x], line[3 * x + 1], line[3 * x + 2]);
        }
    } else if (format == QImage::Format_Grayscale8) {
        for (int r = 0; r < rows; ++r)
            std::copy_n(picture.constScanLine(y0 + r), width,
                        strip + static_cast<std::size_t>(r) * width);
    } else if (format == QImage::Format_Indexed8) {
        std::array<std::uint8_t, 256> table{};
        const QList<QRgb> colours = picture.colorTable();
        for (int i = 0; i < static_cast<int>(colours.size()) && i < 256; ++i)
            table[static_cast<std::size_t>(i)] =
                GrayOf(qRed(colours[i]), qGreen(colours[i]), qBlue(colours[i]));
        for (int r = 0; r < rows; ++r) {
            const std::uint8_t* line = picture.constScanLine(y0 + r);
            std::uint8_t* out = strip + static_cast<std::size_t>(r) * width;
            for (int x = 0; x < width; ++x)
                out[x] = table[line[x]];
        }
    } else {
        // Any other layout (1 bit, 16 bits a channel, premultiplied alpha, ...):
        // convert these rows only, to 8-bit unpremultiplied ARGB.
        const QImage part = picture.copy(0, y0, width, rows).convertToFormat(QImage::Format_ARGB32);
        GrayRows(part, 0, rows, strip);
    }
}

// What the decoder has reported, guarded by mutex.
struct HandOver {
    std::mutex mutex;
    std::condition_variable ready;
    int decoded = 0;
    bool ended = false;
};

// Asks the system for the pages of [from, to) (page-aligned) ready to be
// written: it clears them here, not where the decoder first writes them.
// Only a hint; an old kernel refuses it.
void FaultIn(std::uintptr_t from, std::uintptr_t to)
{
    if (to > from)
        madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
}

}  // namespace

void GrayBand(const QImage& picture, int y0, int rows, GrayImage& gray, std::uint8_t* strip)
{
    const int width = picture.width();
    if (rows <= 0 || width <= 0)
        return;
    if (picture.format() == QImage::Format_Grayscale8) {
        RowsToColumns(picture.constScanLine(y0), picture.bytesPerLine(), width, rows, gray, y0);
        return;
    }
    GrayRows(picture, y0, rows, strip);
    RowsToColumns(strip, width, width, rows, gray, y0);
}

GrayBands::GrayBands(const QImage& picture, GrayImage& gray) : picture_(picture), gray_(gray)
{
    constexpr int kStripBytes = 8 << 20;
    const int width = std::max(picture.width(), 1);
    stripRows_ = std::clamp(kStripBytes / width / kBandRows * kBandRows, kBandRows, kGrayRows);
    if (picture.format() != QImage::Format_Grayscale8)
        strip_.resize(static_cast<std::size_t>(picture.width()) *
                      std::max(1, std::min(stripRows_, picture.height())));
}

void GrayBands::Add(int y0, int rows)
{
    const int width = picture_.width();
    if (y0 != first_ + held_) {  // not the band after the last: start a new run here
        Write();
        first_ = y0;
    }
    while (rows > 0) {
        const int take = std::min(rows, stripRows_ - held_);
        if (!strip_.empty())
            GrayRows(picture_, y0, take, strip_.data() + static_cast<std::size_t>(held_) * width);
        held_ += take;
        y0 += take;
        rows -= take;
        if (held_ == stripRows_ || y0 >= picture_.height())
            Write();
    }
}

void GrayBands::Write()
{
    if (held_ > 0) {
        if (strip_.empty())
            RowsToColumns(picture_.constScanLine(first_), picture_.bytesPerLine(), picture_.width(),
                          held_, gray_, first_);
        else
            RowsToColumns(strip_.data(), picture_.width(), picture_.width(), held_, gray_, first_);
    }
    first_ += held_;
    held_ = 0;
}

bool DecodeInBands(QImage& picture, const std::function<bool(const RowsDecoded&)>& decode,
                   const std::function<void(int y0, int rows)>& finish)
{
    uchar* const pixels = picture.bits();  // detaches now, before any second thread
    const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(pixels) & ~(kPage - 1);
    const std::size_t lineBytes = static_cast<std::size_t>(picture.bytesPerLine());
    const std::uintptr_t end =
        (reinterpret_cast<std::uintptr_t>(pixels) +
         static_cast<std::size_t>(picture.sizeInBytes()) + kPage - 1) & ~(kPage - 1);
    HandOver h;
    bool decodedWhole = false;
    const RowsDecoded report = [&](int rows) {
        bool wake = false;
        {
            const std::lock_guard lock(h.mutex);
            wake = rows / kBandRows != h.decoded / kBandRows;
            h.decoded = rows;
        }
        if (wake)
            h.ready.notify_one();
    };
    const auto finishAll = [&] {
        int done = 0;
        std::uintptr_t faulted = begin;
        for (;;) {
            int decoded = 0;
            bool ended = false;
            {
                const std::lock_guard lock(h.mutex);
                decoded = h.decoded;
                ended = h.ended;
            }
            if (decoded - done >= kBandRows || (ended && decoded > done)) {
                const int rows = std::min(kBandRows, decoded - done);
                finish(done, rows);
                done += rows;
                continue;
            }
            if (ended)
                return;
            // Waiting for the decoder: clear the pages it writes next.
            faulted = std::max(faulted, (begin + decoded * lineBytes) & ~(kPage - 1));
            const std::uintptr_t wanted = std::min(end, begin + decoded * lineBytes + kFaultAhead);
            if (faulted < wanted) {
                const std::uintptr_t to = std::min(wanted, (faulted + kFaultStep) & ~(kFaultStep - 1));
                FaultIn(faulted, to);
                faulted = to;
                continue;
            }
            std::unique_lock lock(h.mutex);
            h.ready.wait(lock, [&] { return h.ended || h.decoded - done >= kBandRows; });
        }
    };
    // The decoder is part 0, the caller's own; it never waits for part 1, so
    // the two also run one after the other when no second thread is free.
    ParallelFor(0, 2, 1, [&](int lo, int hi) {
        for (int part = lo; part < hi; ++part) {
            if (part == 1) {
                finishAll();
                continue;
            }
            decodedWhole = decode(report);
            {
                const std::lock_guard lock(h.mutex);
                h.ended = true;
            }
            h.ready.notify_one();
        }
    });
    return decodedWhole;
}
