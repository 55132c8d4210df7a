// platform/PictureWriters.cpp
#include "PictureWriters.h"

#include <tiffio.h>

#include <QColorSpace>

#include <algorithm>
#include <cstdarg>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

std::atomic<bool> directWriters{true};

// Bytes gathered before they go to the device: the encoders hand over a few
// kilobytes at a time, and the device writes each call through unbuffered.
constexpr std::size_t kBuffer = 1 << 20;

// A buffer in front of the device that also follows seeks (libtiff goes back
// to the header to point it at the directory). Pending bytes belong at
// pendingAt_ onwards; a write elsewhere sends them first.
class Output {
public:
    explicit Output(QIODevice& device) : device_(device) { pending_.reserve(kBuffer); }
    bool Write(const void* data, std::size_t bytes)
    {
        if (failed_)
            return false;
        if (at_ != pendingAt_ + static_cast<qint64>(pending_.size())) {
            if (!Flush() || !device_.seek(at_))
                return failed_ = true, false;
            pendingAt_ = at_;
        }
        const auto* p = static_cast<const char*>(data);
        if (pending_.size() + bytes > kBuffer && !Flush())
            return false;
        if (bytes >= kBuffer) {
            if (device_.write(p, static_cast<qint64>(bytes)) != static_cast<qint64>(bytes))
                return failed_ = true, false;
            pendingAt_ += static_cast<qint64>(bytes);
        } else {
            pending_.insert(pending_.end(), p, p + bytes);
        }
        at_ += static_cast<qint64>(bytes);
        end_ = std::max(end_, at_);
        return true;
    }
    bool Flush()
    {
        if (failed_)
            return false;
        if (!pending_.empty() &&
            device_.write(pending_.data(), static_cast<qint64>(pending_.size())) !=
                static_cast<qint64>(pending_.size()))
            return failed_ = true, false;
        pendingAt_ += static_cast<qint64>(pending_.size());
        pending_.clear();
        return true;
    }
    void Seek(qint64 at) { at_ = at; }
    qint64 Position() const { return at_; }
    qint64 End() const { return end_; }

private:
    QIODevice& device_;
    std::vector<char> pending_;
    qint64 pendingAt_ = 0, at_ = 0, end_ = 0;
    bool failed_ = false;
};

// The layout of the rows a writer takes: Qt's writers turn every other layout
// into one of these first, so those are left to Qt.
enum class Kind { Gray, Rgb, Rgba };

bool KindOf(const QImage& picture, Kind& kind)
{
    switch (picture.format()) {
    case QImage::Format_Grayscale8: kind = Kind::Gray; return true;
    case QImage::Format_RGB32: kind = Kind::Rgb; return true;
    case QImage::Format_ARGB32: kind = Kind::Rgba; return true;
    default: return false;
    }
}

void PutLittle(std::uint8_t* at, std::uint32_t v, int bytes)
{
    for (int k = 0; k < bytes; ++k, v >>= 8)
        at[k] = static_cast<std::uint8_t>(v & 255);
}

// ---- BMP ----

// Qt's layout: a 40-byte header, rows bottom-up padded to four bytes; gray as
// 8 bits with a 256-gray palette, colour as 24 bits B, G, R (alpha dropped).
Taken WriteBmp(const QImage& picture, Kind kind, Output& out)
{
    const int width = picture.width(), height = picture.height();
    const int bits = kind == Kind::Gray ? 8 : 24;
    const qint64 rowBytes = (qint64{width} * bits + 31) / 32 * 4;
    const std::uint32_t paletteBytes = kind == Kind::Gray ? 256 * 4 : 0;
    const qint64 fileBytes = 54 + paletteBytes + rowBytes * height;
    if (fileBytes > UINT32_MAX)
        return Taken::No;
    std::uint8_t head[54] = {'B', 'M'};
    PutLittle(head + 2, static_cast<std::uint32_t>(fileBytes), 4);
    PutLittle(head + 10, 54 + paletteBytes, 4);
    PutLittle(head + 14, 40, 4);
    PutLittle(head + 18, static_cast<std::uint32_t>(width), 4);
    PutLittle(head + 22, static_cast<std::uint32_t>(height), 4);
    PutLittle(head + 26, 1, 2);
    PutLittle(head + 28, static_cast<std::uint32_t>(bits), 2);
    PutLittle(head + 34, static_cast<std::uint32_t>(rowBytes * height), 4);
    PutLittle(head + 38, static_cast<std::uint32_t>(picture.dotsPerMeterX()), 4);
    PutLittle(head + 42, static_cast<std::uint32_t>(picture.dotsPerMeterY()), 4);
    PutLittle(head + 46, kind == Kind::Gray ? 256 : 0, 4);
    PutLittle(head + 50, kind == Kind::Gray ? 256 : 0, 4);
    if (!out.Write(head, sizeof head))
        return Taken::Failed;
    if (kind == Kind::Gray) {
        std::uint8_t palette[256 * 4];
        for (int g = 0; g < 256; ++g)
            PutLittle(palette + 4 * g, static_cast<std::uint32_t>(g * 0x010101), 4);
        if (!out.Write(palette, sizeof palette))
            return Taken::Failed;
    }
    std::vector<std::uint8_t> row(static_cast<std::size_t>(rowBytes), 0);
    for (int y = height - 1; y >= 0; --y) {
        const std::uint8_t* line = picture.constScanLine(y);
        if (kind == Kind::Gray) {
            std::memcpy(row.data(), line, static_cast<std::size_t>(width));
        } else {
            std::uint8_t* o = row.data();
            for (int x = 0; x < width; ++x, o += 3, line += 4)  // B, G, R, A in memory
                o[0] = line[0], o[1] = line[1], o[2] = line[2];
        }
        if (!out.Write(row.data(), row.size()))
            return Taken::Failed;
    }
    return out.Flush() ? Taken::Written : Taken::Failed;
}

// ---- TIFF ----

tmsize_t TiffRead(thandle_t, void*, tmsize_t) { return -1; }
tmsize_t TiffWrite(thandle_t h, void* data, tmsize_t bytes)
{
    return static_cast<Output*>(h)->Write(data, static_cast<std::size_t>(bytes)) ? bytes : -1;
}
toff_t TiffSeek(thandle_t h, toff_t at, int whence)
{
    auto* out = static_cast<Output*>(h);
    const qint64 base = whence == SEEK_CUR ? out->Position() : whence == SEEK_END ? out->End() : 0;
    out->Seek(base + static_cast<qint64>(at));
    return static_cast<toff_t>(out->Position());
}
int TiffClose(thandle_t) { return 0; }
toff_t TiffSize(thandle_t h) { return static_cast<toff_t>(static_cast<Output*>(h)->End()); }
int TiffMap(thandle_t, void**, toff_t*) { return 0; }
void TiffUnmap(thandle_t, void*, toff_t) {}

// Rows a strip as Qt asks for them: strips of about 4 MB.
std::uint32_t TiffStripRows(TIFF* t)
{
    const qint64 rowBytes = std::max<qint64>(1, TIFFScanlineSize(t));
    return TIFFDefaultStripSize(t, static_cast<std::uint32_t>(
                                       std::clamp<qint64>((4 << 20) / rowBytes, 1, UINT32_MAX)));
}

// Qt's settings: uncompressed, strips of about 4 MB; gray as one sample,
// RGB32 as 3 samples, ARGB32 as 4 with unassociated alpha; the resolution in
// centimetres when the dots a metre divide by 100, else in whole dots an inch.
bool SetTiffFields(TIFF* t, const QImage& picture, Kind kind)
{
    const int dpmX = picture.dotsPerMeterX(), dpmY = picture.dotsPerMeterY();
    const bool centimetres = dpmX % 100 == 0 && dpmY % 100 == 0;
    const bool fields =
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, picture.width()) &&
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, picture.height()) &&
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, centimetres ? RESUNIT_CENTIMETER : RESUNIT_INCH) &&
        TIFFSetField(t, TIFFTAG_XRESOLUTION,
                     centimetres ? dpmX / 100.0 : static_cast<double>(picture.logicalDpiX())) &&
        TIFFSetField(t, TIFFTAG_YRESOLUTION,
                     centimetres ? dpmY / 100.0 : static_cast<double>(picture.logicalDpiY())) &&
        TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    if (!fields)
        return false;
    if (kind == Kind::Gray)
        return TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK) &&
               TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT) &&
               TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TiffStripRows(t));
    const bool alpha = kind == Kind::Rgba;
    const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
    return TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
           TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, alpha ? 4 : 3) &&
           (!alpha || TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra)) &&
           TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TiffStripRows(t));
}

// Row y of the picture as the file stores it: gray as is, colour R, G, B(, A).
void TiffRow(const QImage& picture, Kind kind, int y, std::uint8_t* o)
{
    const std::uint8_t* line = picture.constScanLine(y);
    const int width = picture.width();
    if (kind == Kind::Gray) {
        std::memcpy(o, line, static_cast<std::size_t>(width));
    } else if (kind == Kind::Rgb) {
        for (int x = 0; x < width; ++x, o += 3, line += 4)
            o[0] = line[2], o[1] = line[1], o[2] = line[0];
    } else {
        for (int x = 0; x < width; ++x, o += 4, line += 4)
            o[0] = line[2], o[1] = line[1], o[2] = line[0], o[3] = line[3];
    }
}

// A failed write is told by the device; libtiff's own words are not needed.
int QuietTiff(TIFF*, void*, const char*, const char*, va_list) { return 1; }

Taken WriteTiff(const QImage& picture, Kind kind, Output& out)
{
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, QuietTiff, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, QuietTiff, nullptr);
    TIFF* t = TIFFClientOpenExt("picture", "w", &out, TiffRead, TiffWrite, TiffSeek, TiffClose,
                                TiffSize, TiffMap, TiffUnmap, options);
    TIFFOpenOptionsFree(options);
    bool written = t != nullptr && SetTiffFields(t, picture, kind);
    if (written) {
        std::uint32_t rowsPerStrip = 0;
        TIFFGetField(t, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        const std::size_t rowBytes = static_cast<std::size_t>(TIFFScanlineSize(t));
        std::vector<std::uint8_t> strip(rowBytes * rowsPerStrip);
        const auto height = static_cast<std::uint32_t>(picture.height());
        for (std::uint32_t y0 = 0, s = 0; written && y0 < height; y0 += rowsPerStrip, ++s) {
            const std::uint32_t rows = std::min(rowsPerStrip, height - y0);
            for (std::uint32_t r = 0; r < rows; ++r)
                TiffRow(picture, kind, static_cast<int>(y0 + r), strip.data() + rowBytes * r);
            written = TIFFWriteEncodedStrip(t, s, strip.data(),
                                            static_cast<tmsize_t>(rowBytes * rows)) >= 0;
        }
        written = written && TIFFWriteDirectory(t) != 0;
    }
    if (t != nullptr)
        TIFFClose(t);
    return written && out.Flush() ? Taken::Written : Taken::Failed;
}

}  // namespace

Taken WritePictureDirectly(const QImage& picture, const QByteArray& format, QIODevice& out)
{
    Kind kind{};
    if (picture.isNull() || !KindOf(picture, kind) || !picture.text().isEmpty() ||
        picture.colorSpace().isValid())
        return Taken::No;
    Output output(out);
    if (format == "bmp")
        return WriteBmp(picture, kind, output);
    if (format == "tif" || format == "tiff")
        return WriteTiff(picture, kind, output);
    return Taken::No;
}

void SetDirectPictureWritersForTesting(bool on) { directWriters.store(on); }
bool DirectPictureWriters() { return directWriters.load(); }
