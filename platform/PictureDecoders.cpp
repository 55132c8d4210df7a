// platform/PictureDecoders.cpp
#include "PictureDecoders.h"

#include "Image.h"

#include <spng.h>
#include <tiffio.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

constexpr std::size_t kLargePage = 2 << 20;

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

struct SpngDelete {
    void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};

// 3 bytes R, G, B to 0xFFRRGGBB.
void RgbToRgb32(const uchar* in, std::uint32_t* out, int width)
{
    for (int x = 0; x < width; ++x, in += 3)
        out[x] = 0xFF000000u | std::uint32_t{in[0]} << 16 | std::uint32_t{in[1]} << 8 | in[2];
}

// 4 bytes R, G, B, A to 0xAARRGGBB.
void RgbaToArgb32(const uchar* in, std::uint32_t* out, int width)
{
    for (int x = 0; x < width; ++x, in += 4)
        out[x] = std::uint32_t{in[3]} << 24 | std::uint32_t{in[0]} << 16 |
                 std::uint32_t{in[1]} << 8 | in[2];
}

QImage DecodePng(const uchar* d, qint64 n, qint64 maxBytes)
{
    const PngChunks chunks = ScanPngChunks(d, n);
    if (!chunks.complete || chunks.qtMetadata)
        return {};
    const std::unique_ptr<spng_ctx, SpngDelete> ctx(spng_ctx_new(0));
    // Any bad checksum stops the decoder: libpng drops some ancillary chunks
    // quietly and fails on others; Qt's reader then decides.
    if (!ctx || spng_set_crc_action(ctx.get(), SPNG_CRC_ERROR, SPNG_CRC_ERROR) != 0 ||
        spng_set_png_buffer(ctx.get(), d, static_cast<std::size_t>(n)) != 0)
        return {};
    spng_ihdr ihdr{};
    if (spng_get_ihdr(ctx.get(), &ihdr) != 0 || !Fits(ihdr.width, ihdr.height, maxBytes))
        return {};
    const int width = static_cast<int>(ihdr.width), height = static_cast<int>(ihdr.height);
    const int type = ihdr.color_type, depth = ihdr.bit_depth;
    // How libspng hands the rows over, and the picture Qt makes of them.
    int decodeFormat = 0;
    QImage::Format format = QImage::Format_Invalid;
    enum class Copy { Plain, Rgb, Rgba } copy = Copy::Plain;
    if (depth == 8 && !chunks.transparency && type == SPNG_COLOR_TYPE_TRUECOLOR) {
        decodeFormat = SPNG_FMT_RGB8, format = QImage::Format_RGB32, copy = Copy::Rgb;
    } else if (depth == 8 && (type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA ||
                              type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA)) {
        decodeFormat = SPNG_FMT_RGBA8, format = QImage::Format_ARGB32, copy = Copy::Rgba;
    } else if (depth == 8 && !chunks.transparency && type == SPNG_COLOR_TYPE_GRAYSCALE) {
        decodeFormat = SPNG_FMT_PNG, format = QImage::Format_Grayscale8;
    } else if (depth == 8 && type == SPNG_COLOR_TYPE_INDEXED) {
        decodeFormat = SPNG_FMT_PNG, format = QImage::Format_Indexed8;
    } else if (depth == 16 && !chunks.transparency && type == SPNG_COLOR_TYPE_GRAYSCALE) {
        decodeFormat = SPNG_FMT_PNG, format = QImage::Format_Grayscale16;  // host order
    } else if (depth == 16 && !chunks.transparency && type == SPNG_COLOR_TYPE_TRUECOLOR) {
        decodeFormat = SPNG_FMT_RGBA16, format = QImage::Format_RGBX64;
    } else if (depth == 16 && type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA) {
        decodeFormat = SPNG_FMT_RGBA16, format = QImage::Format_RGBA64;
    } else {
        return {};
    }
    QImage picture = NewPictureBuffer(width, height, format);
    if (picture.isNull())
        return {};
    if (format == QImage::Format_Indexed8) {
        spng_plte plte{};
        spng_trns trns{};
        if (spng_get_plte(ctx.get(), &plte) != 0)
            return {};
        const bool alpha = spng_get_trns(ctx.get(), &trns) == 0;
        QList<QRgb> colours(static_cast<qsizetype>(plte.n_entries));
        for (std::uint32_t i = 0; i < plte.n_entries; ++i)
            colours[i] = qRgba(plte.entries[i].red, plte.entries[i].green, plte.entries[i].blue,
                               alpha && i < trns.n_type3_entries ? trns.type3_alpha[i] : 255);
        picture.setColorTable(colours);
    }
    spng_phys phys{};
    if (spng_get_phys(ctx.get(), &phys) == 0 && phys.unit_specifier == 1) {  // per metre
        picture.setDotsPerMeterX(static_cast<int>(phys.ppu_x));
        picture.setDotsPerMeterY(static_cast<int>(phys.ppu_y));
    }
    std::size_t rowBytes = 0;
    if (spng_decoded_image_size(ctx.get(), decodeFormat, &rowBytes) != 0)
        return {};
    rowBytes /= static_cast<std::size_t>(height);
    const auto place = [&](const uchar* row, int y) {
        uchar* line = picture.scanLine(y);
        if (copy == Copy::Rgb)
            RgbToRgb32(row, reinterpret_cast<std::uint32_t*>(line), width);
        else if (copy == Copy::Rgba)
            RgbaToArgb32(row, reinterpret_cast<std::uint32_t*>(line), width);
        else if (row != line)
            std::memcpy(line, row, rowBytes);
    };
    if (ihdr.interlace_method != 0) {
        // The passes fill every row several times: decode the whole first.
        std::vector<uchar> all;
        all.resize(rowBytes * static_cast<std::size_t>(height));
        if (spng_decode_image(ctx.get(), all.data(), all.size(), decodeFormat, 0) != 0)
            return {};
        for (int y = 0; y < height; ++y)
            place(all.data() + rowBytes * static_cast<std::size_t>(y), y);
    } else {
        if (spng_decode_image(ctx.get(), nullptr, 0, decodeFormat, SPNG_DECODE_PROGRESSIVE) != 0)
            return {};
        std::vector<uchar> row(copy == Copy::Plain ? 0 : rowBytes);
        for (int y = 0; y < height; ++y) {
            uchar* into = copy == Copy::Plain ? picture.scanLine(y) : row.data();
            const int status = spng_decode_row(ctx.get(), into, rowBytes);
            if (status != 0 && !(status == SPNG_EOI && y == height - 1))
                return {};
            place(into, y);
        }
    }
    if (format == QImage::Format_Indexed8) {  // an index past the palette: Qt's to judge
        const int colours = picture.colorCount();
        for (int y = 0; y < height; ++y) {
            const uchar* line = picture.constScanLine(y);
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

QImage DecodeJpeg(const uchar* d, qint64 n, qint64 maxBytes)
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
    const bool gray = colourSpace == TJCS_GRAY;
    if (!gray && colourSpace != TJCS_YCbCr && colourSpace != TJCS_RGB)
        return {};
    QImage picture =
        NewPictureBuffer(width, height, gray ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (picture.isNull())
        return {};
    // The library's defaults, as Qt reads: the accurate integer IDCT and smooth
    // upsampling. Any warning (damaged data) leaves the file to Qt's reader,
    // which names it. BGRX fills X with 255.
    if (tjDecompress2(handle.get(), d, static_cast<unsigned long>(n), picture.bits(), width,
                      static_cast<int>(picture.bytesPerLine()), height,
                      gray ? TJPF_GRAY : TJPF_BGRX, TJFLAG_STOPONWARNING) != 0)
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

QImage DecodeTiff(const uchar* d, qint64 n, qint64 maxBytes)
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
        const tmsize_t stripBytes = TIFFStripSize(t);
        std::vector<uchar> strip(static_cast<std::size_t>(std::max<tmsize_t>(stripBytes, 0)));
        const std::uint32_t strips = TIFFNumberOfStrips(t);
        for (std::uint32_t s = 0; s < strips; ++s) {
            const std::uint32_t y = s * rowsPerStrip;
            if (y >= height)
                break;
            const std::uint32_t rows = std::min(rowsPerStrip, height - y);
            const tmsize_t want = static_cast<tmsize_t>(rows) * width * samples;
            if (TIFFReadEncodedStrip(t, s, strip.data(), want) != want || troubled)
                return {};
            place(strip.data(), width, rows, 0, y);
        }
        if (static_cast<std::uint64_t>(strips) * rowsPerStrip < height)
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
QImage DecodeBmp(const uchar* d, qint64 n, qint64 maxBytes)
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
    for (int y = 0; y < height; ++y) {
        const qint64 stored = signedHeight < 0 ? y : height - 1 - y;
        const uchar* in = d + pixelsAt + stored * rowBytes;
        uchar* line = picture.scanLine(y);
        if (bits == 8) {
            if (*std::max_element(in, in + width) >= colours)
                return {};  // an index past the table: Qt's to judge
            std::memcpy(line, in, static_cast<std::size_t>(width));
        } else if (bits == 24) {
            auto* out = reinterpret_cast<std::uint32_t*>(line);
            for (int x = 0; x < width; ++x, in += 3)
                out[x] = 0xFF000000u | std::uint32_t{in[2]} << 16 | std::uint32_t{in[1]} << 8 | in[0];
        } else {
            auto* out = reinterpret_cast<std::uint32_t*>(line);
            for (int x = 0; x < width; ++x, in += 4)
                out[x] = 0xFF000000u | std::uint32_t{in[2]} << 16 | std::uint32_t{in[1]} << 8 | in[0];
        }
    }
    if (dpmX > 0 && dpmY > 0) {
        picture.setDotsPerMeterX(dpmX);
        picture.setDotsPerMeterY(dpmY);
    }
    return picture;
}

// ---- PGM and PPM ----

// Binary gray (P5) and colour (P6) files of 8 bits a sample (maximum 255).
QImage DecodePnm(const uchar* d, qint64 n, qint64 maxBytes)
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
    for (int y = 0; y < height; ++y) {
        const uchar* in = d + i + y * rowBytes;
        if (gray)
            std::memcpy(picture.scanLine(y), in, static_cast<std::size_t>(width));
        else
            RgbToRgb32(in, reinterpret_cast<std::uint32_t*>(picture.scanLine(y)),
                       static_cast<int>(width));
    }
    return picture;
}

void FreeBlock(void* block) { ::operator delete[](block, std::align_val_t(kLargePage)); }

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
    auto* block = static_cast<uchar*>(::operator new[](static_cast<std::size_t>(bytes),
                                                       std::align_val_t(kLargePage), std::nothrow));
    if (block == nullptr)
        return {};
    AdviseLargeBlock(block, static_cast<std::size_t>(bytes));
    QImage picture(block, width, height, static_cast<qsizetype>(rowBytes), format, FreeBlock, block);
    if (picture.isNull())
        FreeBlock(block);
    return picture;
}

QImage DecodePictureDirectly(const uchar* data, qint64 size, qint64 maxBytes, QByteArray& format)
{
    if (size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0) {
        format = "png";
        return DecodePng(data, size, maxBytes);
    }
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
        format = "jpeg";
        return DecodeJpeg(data, size, maxBytes);
    }
    if (size >= 4 && (std::memcmp(data, "II*\0", 4) == 0 || std::memcmp(data, "MM\0*", 4) == 0)) {
        format = "tiff";
        return DecodeTiff(data, size, maxBytes);
    }
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
        format = "bmp";
        return DecodeBmp(data, size, maxBytes);
    }
    if (size >= 2 && data[0] == 'P' && (data[1] == '5' || data[1] == '6')) {
        format = data[1] == '5' ? "pgm" : "ppm";
        return DecodePnm(data, size, maxBytes);
    }
    return {};
}
