// platform/PictureDecoders.cpp
#include "PictureDecoders.h"

#include "Image.h"
#include "Parallel.h"
#include "PictureBands.h"
#include "PixelRows.h"
#include "Rows.h"

#include <png.h>
#include <tiffio.h>
#include <turbojpeg.h>
#include <unistd.h>
// After turbojpeg.h: jpeglib.h needs the standard types declared first.
#include <jpeglib.h>

#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <vector>

namespace {

constexpr std::size_t kLargePage = 2 << 20;
// Rows a thread converts at least: a 2048-pixel picture splits in two.
constexpr int kRowGrain = 256;
// Rows of a band of an uncompressed picture, lines of lineBytes: kGrayRows, so
// that the gray image's columns take runs of that many rows, unless the rows
// read and their gray values would pass about 8 MB a thread (a picture tens of
// thousands of pixels wide); never under 64, whole cache lines of the columns.
int PlaceRows(qsizetype lineBytes)
{
    constexpr qsizetype kBandBytes = 8 << 20;
    const qsizetype rows = kBandBytes / std::max<qsizetype>(lineBytes, 1) / 64 * 64;
    return static_cast<int>(std::clamp<qsizetype>(rows, 64, kGrayRows));
}

bool Fits(qint64 width, qint64 height, qint64 maxBytes)
{
    return width > 0 && height > 0 && width <= 0x7FFFFF && height <= 0x7FFFFF &&
           4 * width * height <= maxBytes;
}

std::uint32_t BigEndian32(const uchar* p)
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

std::uint32_t LittleEndian(const uchar* p, int bytes)
{
    std::uint32_t v = 0;
    for (int k = bytes - 1; k >= 0; --k)
        v = v << 8 | p[k];
    return v;
}

// ---- PNG ----

// What the chunks tell before any pixel is decoded. Qt attaches a colour space
// (iCCP, sRGB, gAMA, cHRM) and texts to the picture; such files are left to it.
// A file must also hold every chunk up to IEND, as Qt's reader demands.
struct PngChunks {
    bool complete = false, qtMetadata = false, transparency = false;
};

PngChunks ScanPngChunks(const uchar* d, qint64 n)
{
    PngChunks c;
    for (qint64 i = 8; i + 12 <= n;) {
        const qint64 length = BigEndian32(d + i);
        const uchar* type = d + i + 4;
        if (length > n - i - 12)
            return c;
        if (std::memcmp(type, "IEND", 4) == 0) {
            c.complete = true;
            return c;
        }
        for (const char* name : {"iCCP", "sRGB", "gAMA", "cHRM", "tEXt", "zTXt", "iTXt"})
            c.qtMetadata |= std::memcmp(type, name, 4) == 0;
        c.transparency |= std::memcmp(type, "tRNS", 4) == 0;
        i += length + 12;
    }
    return c;
}

// 3 bytes R, G, B to 0xFFRRGGBB.
void RgbToRgb32(const uchar* in, std::uint32_t* out, int width)
{
    for (int x = 0; x < width; ++x, in += 3)
        out[x] = 0xFF000000u | std::uint32_t{in[0]} << 16 | std::uint32_t{in[1]} << 8 | in[2];
}

// 4 bytes R, G, B, A to 0xAARRGGBB, in place.
void RgbaToArgb32(std::uint32_t* pixels, int width)
{
    for (int x = 0; x < width; ++x) {
        const std::uint32_t p = pixels[x];  // A B G R from the most significant byte down
        pixels[x] = (p & 0xFF00FF00u) | (p >> 16 & 0xFFu) | (p & 0xFFu) << 16;
    }
}

// Where a reader of uncompressed rows finds them: the file's bytes, and the
// open file itself (or -1).
struct StoredRows {
    const uchar* data;
    int file;

    // The stored bytes [at, at + bytes): read from the file into buffer when
    // it is open, else the mapped bytes themselves. Null when the file no
    // longer holds them all.
    const uchar* Read(qint64 at, std::size_t bytes, std::vector<uchar>& buffer) const
    {
        if (file < 0)
            return data + at;
        if (buffer.size() < bytes)
            buffer.resize(bytes);
        for (std::size_t done = 0; done < bytes;) {
            const ssize_t got = ::pread(file, buffer.data() + done, bytes - done,
                                        static_cast<off_t>(at + static_cast<qint64>(done)));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return nullptr;
            done += static_cast<std::size_t>(got);
        }
        return buffer.data();
    }
};

// Where a packed row's gray values go while it is converted: row r of the
// band's strip, which then holds the band's gray rows; null when the strip
// has no room for them (no gray image asked for).
std::uint8_t* GrayRow(std::vector<std::uint8_t>& strip, int r, int width)
{
    return strip.size() >= static_cast<std::size_t>(r + 1) * static_cast<std::size_t>(width)
               ? strip.data() + static_cast<std::size_t>(r) * width
               : nullptr;
}

// Writes a band's gray values into the gray image: those PackedRowToPixels
// left in the strip (stripHoldsGray), else the picture's rows'.
void FinishGrayBand(const QImage& picture, int y0, int rows, bool stripHoldsGray, GrayImage* gray,
                    std::vector<std::uint8_t>& strip)
{
    if (gray == nullptr)
        return;
    if (stripHoldsGray)
        RowsToColumns(strip.data(), picture.width(), picture.width(), rows, *gray, y0);
    else
        GrayBand(picture, y0, rows, *gray, strip.data());
}

// The gray image to fill beside a picture being decoded: null when none was
// asked for or memory runs out (the caller then makes it from the picture).
GrayImage* GrayBeside(GrayImage* gray, const QImage& picture)
{
    if (gray == nullptr || picture.isNull())
        return nullptr;
    *gray = NewGrayImage(picture.width(), picture.height());
    return *gray ? gray : nullptr;
}

// Fills a picture from rows stored uncompressed, on both cores, a band of
// PlaceRows rows at a time, and makes each band's gray values while its rows
// are in the cache. placeBand(y0, y1, rows, strip) reads the rows [y0, y1)
// (into rows when they come from the open file) and writes them into the
// picture; it returns false when the file no longer holds them. The gray
// values come from strip where the rows left them there (stripHoldsGray),
// else from the picture's rows. False when the file was cut meanwhile.
template <class PlaceBand>
bool PlaceBands(const QImage& picture, GrayImage* grayOut, bool stripHoldsGray, PlaceBand&& placeBand)
{
    const int width = picture.width(), height = picture.height();
    std::atomic<bool> fileCut{false};
    // Bands start at multiples of placeRows on every thread, so that each
    // band fills whole cache lines of the gray image's columns. The picture's
    // pixels may be streamed past the caches: each thread fences its own.
    const int placeRows = PlaceRows(picture.bytesPerLine());
    const int bands = (height + placeRows - 1) / placeRows;
    ParallelFor(0, bands, std::max(1, kRowGrain / placeRows), [&](int lo, int hi) {
        std::vector<std::uint8_t> strip(
            grayOut != nullptr ? static_cast<std::size_t>(width) * std::min(placeRows, height) : 0);
        std::vector<uchar> rows;
        for (int band = lo; band < hi && !fileCut.load(std::memory_order_relaxed); ++band) {
            const int y0 = band * placeRows, y1 = std::min(height, y0 + placeRows);
            if (!placeBand(y0, y1, rows, strip)) {
                fileCut.store(true);
                break;
            }
            FinishGrayBand(picture, y0, y1 - y0, stripHoldsGray, grayOut, strip);
        }
        PixelRowsWritten();
    });
    return !fileCut.load();
}

// One stored row into a picture's line: 8-bit rows as they are, 24-bit ones
// (blue first when bgr) as pixels, their gray values into row r of the strip.
void PlaceRow(const uchar* in, uchar* line, int width, bool eightBit, bool bgr,
              std::vector<std::uint8_t>& strip, int r)
{
    if (eightBit)
        std::memcpy(line, in, static_cast<std::size_t>(width));
    else
        PackedRowToPixels(in, bgr, reinterpret_cast<std::uint32_t*>(line), GrayRow(strip, r, width),
                          width);
}

// The file as libpng reads it, and whether libpng complained. libpng reports
// an error by a long jump, which skips destructors: the functions that call
// into it after setjmp hold nothing that needs one.
struct PngRead {
    png_structp png = nullptr;
    png_infop info = nullptr;
    const uchar* data = nullptr;
    qint64 size = 0, at = 0;
    bool troubled = false;
};

void ReadPngBytes(png_structp png, png_bytep out, png_size_t bytes)
{
    auto* r = static_cast<PngRead*>(png_get_io_ptr(png));
    if (static_cast<qint64>(bytes) > r->size - r->at)
        png_error(png, "Read Error");
    std::memcpy(out, r->data + r->at, bytes);
    r->at += static_cast<qint64>(bytes);
}

[[noreturn]] void PngFailed(png_structp png, png_const_charp)
{
    static_cast<PngRead*>(png_get_error_ptr(png))->troubled = true;
    png_longjmp(png, 1);
}

// A warning (an ancillary chunk with a bad checksum, dropped quietly) leaves
// the file to Qt's reader too.
void PngWarned(png_structp png, png_const_charp)
{
    static_cast<PngRead*>(png_get_error_ptr(png))->troubled = true;
}

bool ReadPngInfo(PngRead& r)
{
    if (setjmp(png_jmpbuf(r.png)))
        return false;
    png_read_info(r.png, r.info);
    return !r.troubled;
}

// 8-bit RGB and RGBA rows are read as stored, and turned into Qt's 32-bit
// pixels by the thread that finishes them (see DecodePng); libpng's own byte
// order and filler steps would cost the decoding thread as much again.
bool FinishedLater(int type, int depth)
{
    return depth == 8 && (type == PNG_COLOR_TYPE_RGB || type == PNG_COLOR_TYPE_RGB_ALPHA);
}

// Sets the transformations and reads every row (the passes of an interlaced
// file included) and the chunks after them, reporting the rows decoded.
bool ReadPngRows(PngRead& r, png_bytepp rows, int type, int depth, int height,
                 const RowsDecoded& report)
{
    if (setjmp(png_jmpbuf(r.png)))
        return false;
    if (type == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(r.png);
    if (!FinishedLater(type, depth) &&
        (type == PNG_COLOR_TYPE_RGB || type == PNG_COLOR_TYPE_RGB_ALPHA ||
         type == PNG_COLOR_TYPE_GRAY_ALPHA)) {
        if (depth == 8)
            png_set_bgr(r.png);  // Qt's 32-bit pixels are B, G, R, A in memory
        if (type == PNG_COLOR_TYPE_RGB)
            png_set_filler(r.png, depth == 8 ? 0xFF : 0xFFFF, PNG_FILLER_AFTER);
    }
    if (depth == 16)
        png_set_swap(r.png);  // host order
    const int passes = png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);
    if (passes > 1) {  // every row changes until the last pass
        png_read_image(r.png, rows);
        report(height);
    } else {
        for (int y = 0; y < height; y += kBandRows) {
            const int count = std::min(kBandRows, height - y);
            png_read_rows(r.png, rows + y, nullptr, static_cast<png_uint_32>(count));
            report(y + count);
        }
    }
    png_read_end(r.png, nullptr);
    return !r.troubled;
}

struct PngDelete {
    void operator()(PngRead* r) const { png_destroy_read_struct(&r->png, &r->info, nullptr); }
};

QImage DecodePng(const uchar* d, qint64 n, qint64 maxBytes, GrayImage* gray)
{
    const PngChunks chunks = ScanPngChunks(d, n);
    if (!chunks.complete || chunks.qtMetadata)
        return {};
    PngRead r;
    r.data = d, r.size = n;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r, PngFailed, PngWarned);
    if (r.png == nullptr)
        return {};
    const std::unique_ptr<PngRead, PngDelete> release(&r);
    r.info = png_create_info_struct(r.png);
    if (r.info == nullptr)
        return {};
    png_set_read_fn(r.png, &r, ReadPngBytes);
    png_set_user_limits(r.png, 0x7FFFFFFF, 0x7FFFFFFF);
    if (!ReadPngInfo(r))
        return {};
    const png_uint_32 width = png_get_image_width(r.png, r.info);
    const png_uint_32 height = png_get_image_height(r.png, r.info);
    const int type = png_get_color_type(r.png, r.info), depth = png_get_bit_depth(r.png, r.info);
    if (!Fits(width, height, maxBytes))
        return {};
    QImage::Format format = QImage::Format_Invalid;
    if (depth == 8 && !chunks.transparency && type == PNG_COLOR_TYPE_RGB)
        format = QImage::Format_RGB32;
    else if (depth == 8 && (type == PNG_COLOR_TYPE_RGB_ALPHA || type == PNG_COLOR_TYPE_GRAY_ALPHA))
        format = QImage::Format_ARGB32;
    else if (depth == 8 && !chunks.transparency && type == PNG_COLOR_TYPE_GRAY)
        format = QImage::Format_Grayscale8;
    else if (depth == 8 && type == PNG_COLOR_TYPE_PALETTE)
        format = QImage::Format_Indexed8;
    else if (depth == 16 && !chunks.transparency && type == PNG_COLOR_TYPE_GRAY)
        format = QImage::Format_Grayscale16;
    else if (depth == 16 && !chunks.transparency && type == PNG_COLOR_TYPE_RGB)
        format = QImage::Format_RGBX64;
    else if (depth == 16 && type == PNG_COLOR_TYPE_RGB_ALPHA)
        format = QImage::Format_RGBA64;
    else
        return {};
    QImage picture = NewPictureBuffer(static_cast<int>(width), static_cast<int>(height), format);
    if (picture.isNull())
        return {};
    if (format == QImage::Format_Indexed8) {
        png_colorp palette = nullptr;
        int count = 0;
        if (png_get_PLTE(r.png, r.info, &palette, &count) == 0)
            return {};
        png_bytep alpha = nullptr;
        int alphaCount = 0;
        if (png_get_tRNS(r.png, r.info, &alpha, &alphaCount, nullptr) == 0)
            alphaCount = 0;
        QList<QRgb> colours(count);
        for (int i = 0; i < count; ++i)
            colours[i] = qRgba(palette[i].red, palette[i].green, palette[i].blue,
                               i < alphaCount ? alpha[i] : 255);
        picture.setColorTable(colours);
    }
    png_uint_32 resolutionX = 0, resolutionY = 0;
    int unit = 0;
    if (png_get_pHYs(r.png, r.info, &resolutionX, &resolutionY, &unit) != 0 &&
        unit == PNG_RESOLUTION_METER) {
        picture.setDotsPerMeterX(static_cast<int>(resolutionX));
        picture.setDotsPerMeterY(static_cast<int>(resolutionY));
    }
    std::vector<png_bytep> rows(height);
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = picture.scanLine(static_cast<int>(y));
    GrayImage* const grayOut = GrayBeside(gray, picture);
    std::optional<GrayBands> grayBands;
    if (grayOut != nullptr)
        grayBands.emplace(picture, *grayOut);
    std::vector<uchar> packed(FinishedLater(type, depth) ? std::size_t{width} * 3 : 0);
    const auto finish = [&](int y0, int count) {
        for (int y = y0; y < y0 + count && FinishedLater(type, depth); ++y) {
            auto* line = reinterpret_cast<std::uint32_t*>(rows[static_cast<std::size_t>(y)]);
            if (type == PNG_COLOR_TYPE_RGB_ALPHA) {
                RgbaToArgb32(line, static_cast<int>(width));
            } else {  // the packed row fills the first three quarters of its own line
                std::memcpy(packed.data(), line, packed.size());
                RgbToRgb32(packed.data(), line, static_cast<int>(width));
            }
        }
        if (grayBands)
            grayBands->Add(y0, count);
    };
    const auto decode = [&](const RowsDecoded& report) {
        return ReadPngRows(r, rows.data(), type, depth, static_cast<int>(height), report);
    };
    if (!DecodeInBands(picture, decode, finish))
        return {};
    if (format == QImage::Format_Indexed8) {  // an index past the palette: Qt's to judge
        const int colours = picture.colorCount();
        for (png_uint_32 y = 0; y < height; ++y) {
            const uchar* line = picture.constScanLine(static_cast<int>(y));
            if (*std::max_element(line, line + width) >= colours)
                return {};
        }
    }
    return picture;
}

// ---- JPEG ----

// The segments before the first scan. Qt attaches the texts of comments and
// colour profiles to the picture, and takes its resolution from the JFIF block.
struct JpegSegments {
    bool plain = true;
    int densityUnit = 0, densityX = 0, densityY = 0;
};

JpegSegments ScanJpegSegments(const uchar* d, qint64 n)
{
    JpegSegments s;
    for (qint64 i = 2; i + 4 <= n && d[i] == 0xFF;) {
        const uchar marker = d[i + 1];
        if (marker == 0xFF) {
            ++i;
            continue;
        }
        if (marker == 0xDA)
            return s;
        const qint64 length = d[i + 2] << 8 | d[i + 3];
        if (length < 2 || i + 2 + length > n)
            break;
        const uchar* segment = d + i + 4;
        if (marker == 0xFE || (marker == 0xE2 && length >= 14 &&
                               std::memcmp(segment, "ICC_PROFILE", 12) == 0))
            s.plain = false;
        if (marker == 0xE0 && length >= 16 && std::memcmp(segment, "JFIF", 5) == 0 &&
            s.densityUnit == 0) {
            s.densityUnit = segment[7];
            s.densityX = segment[8] << 8 | segment[9];
            s.densityY = segment[10] << 8 | segment[11];
        }
        i += 2 + length;
    }
    s.plain = false;  // no scan found: the decoder's to judge
    return s;
}

struct TurboDelete {
    void operator()(void* handle) const { tjDestroy(handle); }
};

// libjpeg reports an error, and here also any warning (damaged data, which it
// would fill in), by a long jump, which skips destructors: ReadJpegRows holds
// nothing that needs one.
struct JpegTrouble {
    jpeg_error_mgr manager{};
    std::jmp_buf jump{};
};

[[noreturn]] void JpegFailed(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegTrouble*>(info->err)->jump, 1);
}

void JpegMessage(j_common_ptr info, int level)
{
    if (level < 0)
        std::longjmp(reinterpret_cast<JpegTrouble*>(info->err)->jump, 1);
}

struct JpegDelete {
    void operator()(jpeg_decompress_struct* info) const { jpeg_destroy_decompress(info); }
};

// Decodes into the picture's rows a band at a time, reporting each band. The
// library's defaults, as Qt reads: the accurate integer IDCT and smooth
// upsampling; BGRX fills X with 255.
bool ReadJpegRows(jpeg_decompress_struct& info, JpegTrouble& trouble, const uchar* d, qint64 n,
                  bool gray, int width, int height, uchar* bits, qsizetype lineBytes,
                  const RowsDecoded& report)
{
    if (setjmp(trouble.jump))
        return false;
    info.err = jpeg_std_error(&trouble.manager);
    trouble.manager.error_exit = JpegFailed;
    trouble.manager.emit_message = JpegMessage;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, d, static_cast<unsigned long>(n));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = gray ? JCS_GRAYSCALE : JCS_EXT_BGRX;
    jpeg_start_decompress(&info);
    if (static_cast<int>(info.output_width) != width ||
        static_cast<int>(info.output_height) != height || info.output_components != (gray ? 1 : 4))
        return false;
    JSAMPROW rows[kBandRows];
    while (static_cast<int>(info.output_scanline) < height) {
        const int y = static_cast<int>(info.output_scanline);
        const int count = std::min(kBandRows - y % kBandRows, height - y);
        for (int k = 0; k < count; ++k)
            rows[k] = bits + (y + k) * lineBytes;
        jpeg_read_scanlines(&info, rows, static_cast<JDIMENSION>(count));
        report(static_cast<int>(info.output_scanline));
    }
    jpeg_finish_decompress(&info);
    return true;
}

QImage DecodeJpeg(const uchar* d, qint64 n, qint64 maxBytes, GrayImage* gray)
{
    const JpegSegments segments = ScanJpegSegments(d, n);
    if (!segments.plain)
        return {};
    const std::unique_ptr<void, TurboDelete> handle(tjInitDecompress());
    int width = 0, height = 0, subsampling = 0, colourSpace = 0;
    if (!handle || tjDecompressHeader3(handle.get(), d, static_cast<unsigned long>(n), &width,
                                       &height, &subsampling, &colourSpace) != 0 ||
        !Fits(width, height, maxBytes))
        return {};
    const bool grayFile = colourSpace == TJCS_GRAY;
    if (!grayFile && colourSpace != TJCS_YCbCr && colourSpace != TJCS_RGB)
        return {};
    QImage picture =
        NewPictureBuffer(width, height, grayFile ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (picture.isNull())
        return {};
    GrayImage* const grayOut = GrayBeside(gray, picture);
    std::optional<GrayBands> grayBands;
    if (grayOut != nullptr)
        grayBands.emplace(picture, *grayOut);
    // Row addresses from one bits() call: no side may detach the picture.
    uchar* const bits = picture.bits();
    const qsizetype lineBytes = picture.bytesPerLine();
    jpeg_decompress_struct info{};
    JpegTrouble trouble;
    const std::unique_ptr<jpeg_decompress_struct, JpegDelete> release(&info);
    // Any warning (damaged data) leaves the file to Qt's reader, which names it.
    const auto decode = [&](const RowsDecoded& report) {
        return ReadJpegRows(info, trouble, d, n, grayFile, width, height, bits, lineBytes, report);
    };
    const auto finish = [&](int y0, int count) {
        if (grayBands)
            grayBands->Add(y0, count);
    };
    if (!DecodeInBands(picture, decode, finish))
        return {};
    if (segments.densityUnit == 1) {  // dots per inch
        picture.setDotsPerMeterX(static_cast<int>(100.0 * segments.densityX / 2.54));
        picture.setDotsPerMeterY(static_cast<int>(100.0 * segments.densityY / 2.54));
    } else if (segments.densityUnit == 2) {  // dots per centimetre
        picture.setDotsPerMeterX(segments.densityX * 100);
        picture.setDotsPerMeterY(segments.densityY * 100);
    }
    return picture;
}

// ---- TIFF ----

struct Memory {
    const uchar* data;
    qint64 size, at = 0;
};

tmsize_t ReadMemory(thandle_t h, void* into, tmsize_t bytes)
{
    auto* m = static_cast<Memory*>(h);
    const tmsize_t n = std::max<tmsize_t>(0, std::min<tmsize_t>(bytes, m->size - m->at));
    std::memcpy(into, m->data + m->at, static_cast<std::size_t>(n));
    m->at += n;
    return n;
}
tmsize_t WriteMemory(thandle_t, void*, tmsize_t) { return -1; }
toff_t SeekMemory(thandle_t h, toff_t offset, int whence)
{
    auto* m = static_cast<Memory*>(h);
    const qint64 base = whence == SEEK_CUR ? m->at : whence == SEEK_END ? m->size : 0;
    m->at = base + static_cast<qint64>(offset);
    return static_cast<toff_t>(m->at);
}
int CloseMemory(thandle_t) { return 0; }
toff_t SizeOfMemory(thandle_t h) { return static_cast<toff_t>(static_cast<Memory*>(h)->size); }
int MapMemory(thandle_t h, void** base, toff_t* size)
{
    auto* m = static_cast<Memory*>(h);
    *base = const_cast<uchar*>(m->data);
    *size = static_cast<toff_t>(m->size);
    return 1;
}
void UnmapMemory(thandle_t, void*, toff_t) {}

// Any error or warning leaves the file to Qt's reader.
int NoteTiffTrouble(TIFF*, void* troubled, const char*, const char*, va_list)
{
    *static_cast<bool*>(troubled) = true;
    return 1;
}

struct TiffClose {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

// Uncompressed strips in their plain bit order are the picture's rows as
// stored: both cores copy them straight from the file into the picture, and
// make the gray values of each band they have just written. False, with
// nothing written, when the strips are not such or do not all lie in the file.
bool PlaceUncompressedStrips(TIFF* t, const StoredRows& stored, qint64 n, QImage& picture,
                             std::uint32_t rowsPerStrip, std::uint16_t samples, GrayImage* gray,
                             bool& cut)
{
    std::uint16_t compression = 0, fillOrder = 0;
    const std::uint64_t* offsets = nullptr;
    const std::uint64_t* counts = nullptr;
    if (!TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &compression) ||
        compression != COMPRESSION_NONE ||
        !TIFFGetFieldDefaulted(t, TIFFTAG_FILLORDER, &fillOrder) || fillOrder != FILLORDER_MSB2LSB ||
        !TIFFGetField(t, TIFFTAG_STRIPOFFSETS, &offsets) ||
        !TIFFGetField(t, TIFFTAG_STRIPBYTECOUNTS, &counts) || offsets == nullptr || counts == nullptr)
        return false;
    const int width = picture.width(), height = picture.height();
    const qint64 rowBytes = qint64{width} * samples;
    const std::uint32_t strips = TIFFNumberOfStrips(t);
    if (static_cast<std::uint64_t>(strips) * rowsPerStrip < static_cast<std::uint64_t>(height))
        return false;
    for (std::uint32_t s = 0; s < strips && qint64{s} * rowsPerStrip < height; ++s) {
        const qint64 rows = std::min<qint64>(rowsPerStrip, height - qint64{s} * rowsPerStrip);
        const std::uint64_t want = static_cast<std::uint64_t>(rows * rowBytes);
        if (counts[s] < want || offsets[s] > static_cast<std::uint64_t>(n) ||
            want > static_cast<std::uint64_t>(n) - offsets[s])
            return false;
    }
    uchar* const bits0 = picture.bits();  // scanLine() may detach: not on two threads
    const qsizetype lineBytes = picture.bytesPerLine();
    GrayImage* const grayOut = GrayBeside(gray, picture);
    cut = !PlaceBands(picture, grayOut, samples == 3, [&](int y0, int y1, std::vector<uchar>& rows,
                                                          std::vector<std::uint8_t>& strip) {
        // The band's rows, one read for each strip they lie in.
        for (int ya = y0; ya < y1;) {
            const std::uint32_t s = static_cast<std::uint32_t>(ya) / rowsPerStrip;
            const int yb = static_cast<int>(std::min<qint64>(y1, qint64{s + 1} * rowsPerStrip));
            const uchar* in = stored.Read(static_cast<qint64>(offsets[s]) +
                                              (static_cast<std::uint32_t>(ya) % rowsPerStrip) * rowBytes,
                                          static_cast<std::size_t>((yb - ya) * rowBytes), rows);
            if (in == nullptr)
                return false;
            for (int y = ya; y < yb; ++y, in += rowBytes)
                PlaceRow(in, bits0 + y * lineBytes, width, samples == 1, false, strip, y - y0);
            ya = yb;
        }
        return true;
    });
    return true;
}

QImage DecodeTiff(const uchar* d, qint64 n, qint64 maxBytes, GrayImage* grayImage, int file)
{
    Memory memory{d, n};
    bool troubled = false;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, NoteTiffTrouble, &troubled);
    TIFFOpenOptionsSetWarningHandlerExtR(options, NoteTiffTrouble, &troubled);
    const std::unique_ptr<TIFF, TiffClose> tiff(
        TIFFClientOpenExt("picture", "rm", &memory, ReadMemory, WriteMemory, SeekMemory,
                          CloseMemory, SizeOfMemory, MapMemory, UnmapMemory, options));
    TIFFOpenOptionsFree(options);
    if (!tiff || troubled)
        return {};
    TIFF* t = tiff.get();
    std::uint32_t width = 0, height = 0;
    std::uint16_t bits = 0, samples = 0, photometric = 0, planar = 0, extra = 0;
    std::uint16_t* extraKinds = nullptr;
    std::uint32_t profileBytes = 0;
    void* profile = nullptr;
    if (!TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height) ||
        !TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits) ||
        !TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples) ||
        !TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric) ||
        !TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar) ||
        !TIFFGetFieldDefaulted(t, TIFFTAG_EXTRASAMPLES, &extra, &extraKinds) ||
        TIFFGetField(t, TIFFTAG_ICCPROFILE, &profileBytes, &profile) ||
        !Fits(width, height, maxBytes))
        return {};
    const bool gray = photometric == PHOTOMETRIC_MINISBLACK && samples == 1;
    const bool rgb = photometric == PHOTOMETRIC_RGB && samples == 3;
    if (bits != 8 || extra != 0 || planar != PLANARCONFIG_CONTIG || !(gray || rgb))
        return {};
    QImage picture = NewPictureBuffer(static_cast<int>(width), static_cast<int>(height),
                                      gray ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (picture.isNull())
        return {};
    // Copies a block of decoded rows (blockWidth samples wide) into the picture
    // at (x0, y0), as far as the picture reaches.
    const auto place = [&](const uchar* block, std::uint32_t blockWidth, std::uint32_t rows,
                           std::uint32_t x0, std::uint32_t y0) {
        const std::uint32_t columns = std::min(blockWidth, width - x0);
        for (std::uint32_t r = 0; r < rows && y0 + r < height; ++r) {
            const uchar* in = block + static_cast<std::size_t>(r) * blockWidth * samples;
            uchar* line = picture.scanLine(static_cast<int>(y0 + r));
            if (gray)
                std::memcpy(line + x0, in, columns);
            else
                RgbToRgb32(in, reinterpret_cast<std::uint32_t*>(line) + x0,
                           static_cast<int>(columns));
        }
    };
    if (TIFFIsTiled(t)) {
        std::uint32_t tileWidth = 0, tileHeight = 0;
        TIFFGetField(t, TIFFTAG_TILEWIDTH, &tileWidth);
        TIFFGetField(t, TIFFTAG_TILELENGTH, &tileHeight);
        const tmsize_t tileBytes = TIFFTileSize(t);
        if (tileWidth == 0 || tileHeight == 0 ||
            tileBytes != static_cast<tmsize_t>(tileWidth) * tileHeight * samples)
            return {};
        std::vector<uchar> tile(static_cast<std::size_t>(tileBytes));
        for (std::uint32_t y = 0; y < height; y += tileHeight)
            for (std::uint32_t x = 0; x < width; x += tileWidth) {
                if (TIFFReadTile(t, tile.data(), x, y, 0, 0) != tileBytes || troubled)
                    return {};
                place(tile.data(), tileWidth, tileHeight, x, y);
            }
    } else {
        std::uint32_t rowsPerStrip = 0;
        TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        rowsPerStrip = std::min(std::max<std::uint32_t>(rowsPerStrip, 1), height);
        const std::uint32_t strips = TIFFNumberOfStrips(t);
        bool cut = false;
        const bool placed = !troubled && PlaceUncompressedStrips(t, StoredRows{d, file}, n, picture,
                                                                 rowsPerStrip, samples, grayImage, cut);
        if (cut)
            return {};
        // Only strips that are decoded need a buffer; placed ones never touch it.
        std::vector<uchar> strip(
            placed ? 0 : static_cast<std::size_t>(std::max<tmsize_t>(TIFFStripSize(t), 0)));
        for (std::uint32_t s = 0; s < strips && !placed; ++s) {
            const std::uint32_t y = s * rowsPerStrip;
            if (y >= height)
                break;
            const std::uint32_t rows = std::min(rowsPerStrip, height - y);
            const tmsize_t want = static_cast<tmsize_t>(rows) * width * samples;
            if (TIFFReadEncodedStrip(t, s, strip.data(), want) != want || troubled)
                return {};
            place(strip.data(), width, rows, 0, y);
        }
        if (static_cast<std::uint64_t>(strips) * rowsPerStrip < height || troubled)
            return {};
    }
    float resolutionX = 0, resolutionY = 0;
    std::uint16_t unit = RESUNIT_INCH;
    TIFFGetField(t, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (TIFFGetField(t, TIFFTAG_XRESOLUTION, &resolutionX) &&
        TIFFGetField(t, TIFFTAG_YRESOLUTION, &resolutionY)) {
        if (unit == RESUNIT_CENTIMETER) {
            picture.setDotsPerMeterX(qRound(resolutionX * 100));
            picture.setDotsPerMeterY(qRound(resolutionY * 100));
        } else if (unit == RESUNIT_INCH) {
            picture.setDotsPerMeterX(qRound(resolutionX * (100 / 2.54)));
            picture.setDotsPerMeterY(qRound(resolutionY * (100 / 2.54)));
        }
    }
    return picture;
}

// ---- BMP ----

// Uncompressed 8-bit (with its colour table), 24-bit and 32-bit rows, either
// way up, under the plain 40-byte header (and for 8 and 24 bits its longer
// successors, whose colour masks do not apply to these depths).
QImage DecodeBmp(const uchar* d, qint64 n, qint64 maxBytes, GrayImage* gray, int file)
{
    if (n < 54)
        return {};
    const std::uint32_t pixelsAt = LittleEndian(d + 10, 4), infoSize = LittleEndian(d + 14, 4);
    const std::int32_t width = static_cast<std::int32_t>(LittleEndian(d + 18, 4));
    const std::int32_t signedHeight = static_cast<std::int32_t>(LittleEndian(d + 22, 4));
    const std::uint32_t planes = LittleEndian(d + 26, 2), bits = LittleEndian(d + 28, 2);
    const std::uint32_t compression = LittleEndian(d + 30, 4);
    const std::int32_t dpmX = static_cast<std::int32_t>(LittleEndian(d + 38, 4));
    const std::int32_t dpmY = static_cast<std::int32_t>(LittleEndian(d + 42, 4));
    const std::uint32_t used = LittleEndian(d + 46, 4);
    const bool headerKnown = infoSize == 40 || (bits != 32 && (infoSize == 108 || infoSize == 124));
    if (!headerKnown || planes != 1 || compression != 0 || signedHeight == 0 ||
        signedHeight == INT32_MIN || !(bits == 8 || bits == 24 || bits == 32))
        return {};
    const qint64 height = signedHeight < 0 ? -qint64{signedHeight} : signedHeight;
    if (!Fits(width, height, maxBytes))
        return {};
    const qint64 rowBytes = (qint64{width} * bits + 31) / 32 * 4;
    if (pixelsAt > n || rowBytes * height > n - pixelsAt)
        return {};
    const std::uint32_t colours = bits == 8 ? (used == 0 ? 256 : used) : 0;
    if (colours > 256 || 14 + qint64{infoSize} + 4 * qint64{colours} > pixelsAt)
        return {};
    QImage picture = NewPictureBuffer(width, static_cast<int>(height),
                                      bits == 8 ? QImage::Format_Indexed8 : QImage::Format_RGB32);
    if (picture.isNull())
        return {};
    if (bits == 8) {
        QList<QRgb> table(colours);
        const uchar* entry = d + 14 + infoSize;
        for (std::uint32_t i = 0; i < colours; ++i, entry += 4)
            table[i] = qRgb(entry[2], entry[1], entry[0]);
        picture.setColorTable(table);
    }
    // Rows are independent: both cores convert them, and take the faults of
    // the fresh picture. Each makes the gray values of the rows it has just
    // converted, a band at a time, while they are in its cache.
    // Row addresses from one bits() call: scanLine() may detach, which no two
    // threads may do at once.
    uchar* const bits0 = picture.bits();
    const qsizetype lineBytes = picture.bytesPerLine();
    GrayImage* const grayOut = GrayBeside(gray, picture);
    std::atomic<bool> pastTable{false};
    const StoredRows stored{d, file};
    const bool topDown = signedHeight < 0;
    const bool placed = PlaceBands(picture, grayOut, bits == 24, [&](int y0, int y1,
                                                                     std::vector<uchar>& rows,
                                                                     std::vector<std::uint8_t>& strip) {
        // The band's rows lie together in the file, either way up.
        const qint64 first = topDown ? y0 : height - y1;
        const uchar* band = stored.Read(pixelsAt + first * rowBytes,
                                        static_cast<std::size_t>((y1 - y0) * rowBytes), rows);
        if (band == nullptr)
            return false;
        for (int y = y0; y < y1; ++y) {
            const qint64 at = topDown ? y : height - 1 - y;
            const uchar* in = band + (at - first) * rowBytes;
            uchar* line = bits0 + y * lineBytes;
            if (bits == 8 && *std::max_element(in, in + width) >= colours)
                pastTable.store(true);
            if (bits != 32) {
                PlaceRow(in, line, width, bits == 8, true, strip, y - y0);
                continue;
            }
            auto* out = reinterpret_cast<std::uint32_t*>(line);
            for (int x = 0; x < width; ++x, in += 4)
                out[x] = 0xFF000000u | std::uint32_t{in[2]} << 16 | std::uint32_t{in[1]} << 8 | in[0];
        }
        return true;
    });
    if (pastTable.load() || !placed)
        return {};  // an index past the table, or a file cut meanwhile: Qt's to judge
    if (dpmX > 0 && dpmY > 0) {
        picture.setDotsPerMeterX(dpmX);
        picture.setDotsPerMeterY(dpmY);
    }
    return picture;
}

// ---- PGM and PPM ----

// Binary gray (P5) and colour (P6) files of 8 bits a sample (maximum 255).
QImage DecodePnm(const uchar* d, qint64 n, qint64 maxBytes, GrayImage* grayImage, int file)
{
    if (n < 3 || d[0] != 'P' || (d[1] != '5' && d[1] != '6'))
        return {};
    const bool gray = d[1] == '5';
    qint64 i = 2;
    qint64 fields[3] = {};
    for (qint64& field : fields) {
        for (;;) {  // white space and comments to the end of their line
            while (i < n && (d[i] == ' ' || d[i] == '\t' || d[i] == '\n' || d[i] == '\r'))
                ++i;
            if (i < n && d[i] == '#') {
                while (i < n && d[i] != '\n')
                    ++i;
                continue;
            }
            break;
        }
        if (i >= n || d[i] < '0' || d[i] > '9')
            return {};
        for (; i < n && d[i] >= '0' && d[i] <= '9' && field < (1 << 24); ++i)
            field = field * 10 + (d[i] - '0');
    }
    // One white-space byte ends the header.
    if (i >= n || !(d[i] == ' ' || d[i] == '\t' || d[i] == '\n' || d[i] == '\r'))
        return {};
    ++i;
    const qint64 width = fields[0], height = fields[1];
    if (fields[2] != 255 || !Fits(width, height, maxBytes))
        return {};
    const qint64 rowBytes = width * (gray ? 1 : 3);
    if (rowBytes * height > n - i)
        return {};
    QImage picture = NewPictureBuffer(static_cast<int>(width), static_cast<int>(height),
                                      gray ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (picture.isNull())
        return {};
    uchar* const bits0 = picture.bits();  // scanLine() may detach: not on two threads
    const qsizetype lineBytes = picture.bytesPerLine();
    GrayImage* const grayOut = GrayBeside(grayImage, picture);
    const StoredRows stored{d, file};
    const bool placed = PlaceBands(picture, grayOut, !gray, [&](int y0, int y1, std::vector<uchar>& rows,
                                                                std::vector<std::uint8_t>& strip) {
        const uchar* in =
            stored.Read(i + y0 * rowBytes, static_cast<std::size_t>((y1 - y0) * rowBytes), rows);
        if (in == nullptr)
            return false;
        for (int y = y0; y < y1; ++y, in += rowBytes)
            PlaceRow(in, bits0 + y * lineBytes, static_cast<int>(width), gray, false, strip, y - y0);
        return true;
    });
    if (!placed)
        return {};
    return picture;
}

// A picture's block, for the picture's cleanup.
struct PictureBlock {
    void* block;
    std::size_t bytes;
};

void GiveBackPictureBlock(void* info)
{
    const auto* b = static_cast<const PictureBlock*>(info);
    GiveBackLargeBlock(b->block, b->bytes);
    delete b;
}

}  // namespace

QImage NewPictureBuffer(int width, int height, QImage::Format format)
{
    const QImage probe(1, 1, format);  // bytes a pixel of the format
    const qint64 rowBytes = (qint64{width} * probe.depth() + 31) / 32 * 4;
    const qint64 bytes = rowBytes * height;
    if (width <= 0 || height <= 0 || bytes <= 0 || bytes > (qint64{1} << 40))
        return {};
    if (static_cast<std::size_t>(bytes) < 2 * kLargePage)
        return QImage(width, height, format);
    auto* block = static_cast<uchar*>(TakeLargeBlock(static_cast<std::size_t>(bytes)));
    auto* info = block != nullptr ? new (std::nothrow)
                                        PictureBlock{block, static_cast<std::size_t>(bytes)}
                                  : nullptr;
    if (info == nullptr) {
        GiveBackLargeBlock(block, static_cast<std::size_t>(bytes));
        return {};
    }
    QImage picture(block, width, height, static_cast<qsizetype>(rowBytes), format,
                   GiveBackPictureBlock, info);
    if (picture.isNull())
        GiveBackPictureBlock(info);
    return picture;
}

QImage DecodePictureDirectly(const uchar* data, qint64 size, qint64 maxBytes, QByteArray& format,
                             GrayImage* gray, int file)
{
    if (size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0) {
        format = "png";
        return DecodePng(data, size, maxBytes, gray);
    }
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
        format = "jpeg";
        return DecodeJpeg(data, size, maxBytes, gray);
    }
    if (size >= 4 && (std::memcmp(data, "II*\0", 4) == 0 || std::memcmp(data, "MM\0*", 4) == 0)) {
        format = "tiff";
        return DecodeTiff(data, size, maxBytes, gray, file);
    }
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
        format = "bmp";
        return DecodeBmp(data, size, maxBytes, gray, file);
    }
    if (size >= 2 && data[0] == 'P' && (data[1] == '5' || data[1] == '6')) {
        format = data[1] == '5' ? "pgm" : "ppm";
        return DecodePnm(data, size, maxBytes, gray, file);
    }
    return {};
}
