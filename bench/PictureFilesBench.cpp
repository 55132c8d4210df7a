// bench/PictureFilesBench.cpp: reading 8000 x 8000 pictures of each common
// kind through the direct readers, through Qt's readers, and through the bare
// decoder libraries (the peers: decoding only, into a buffer of their own,
// allocated and touched once before the timed loop, so they pay no page
// faults; the loads report theirs as "faults", page faults an iteration);
// loading 2048 x 2048 bitmaps and gray PGM files as the window does; saving
// an 8000 x 8000 colour picture through the direct writers, through Qt's
// writers, and through the bare encoder libraries at Qt's settings.
#include "PictureFiles.h"
#include "PictureWriters.h"
#include "Unit1.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <jpeglib.h>
#include <png.h>
#include <spng.h>
#include <tiffio.h>
#include <turbojpeg.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int kSide = 8000;

QImage Textured(int side)
{
    QImage picture(side, side, QImage::Format_RGB32);
    for (int y = 0; y < side; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < side; ++x)
            line[x] = qRgb((x * 7 + y) & 255, (x ^ y) & 255, (x * y >> 4) & 255);
    }
    return picture;
}

// Written once by Qt and kept in the temporary folder. The PNG is the one
// BM_LoadPicture8000 has always read (compression by quality 10).
QString BenchFile(int side, const char* format, bool gray = false)
{
    const QString path = QDir(QDir::tempPath()).filePath(
        QStringLiteral("graybench-bench-%1x%1%2.%3").arg(side).arg(gray ? "-gray" : "").arg(format));
    if (!QFileInfo::exists(path)) {
        const QImage picture = gray ? Textured(side).convertToFormat(QImage::Format_Grayscale8)
                                    : Textured(side);
        picture.save(path, format, QByteArray(format) == "png" ? 10 : 90);
    }
    return path;
}

QByteArray Contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const char* const kFormats[] = {"png", "jpg", "tif", "bmp"};

// Page faults of the whole process (every thread) since construction.
class FaultCount {
public:
    FaultCount() : start_(Now()) {}
    double Since() const { return static_cast<double>(Now() - start_); }

private:
    static long Now()
    {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_minflt + usage.ru_majflt;
    }
    long start_;
};

// Arg: the format; direct readers on (1) or Qt's reading (0).
void BM_ReadPictureFile8000(benchmark::State& state)
{
    const QString path = BenchFile(kSide, kFormats[state.range(0)]);
    SetDirectPictureReadersForTesting(state.range(1) != 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadPictureFile(path).constBits());
    SetDirectPictureReadersForTesting(true);
    state.SetLabel(std::string(kFormats[state.range(0)]) + (state.range(1) ? " direct" : " qt"));
}
BENCHMARK(BM_ReadPictureFile8000)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The window's Load: read, gray, the workspace's copies. Arg: the format;
// the blocks an earlier picture gave back reused, as the window does once
// its history has let go of a picture of this size (1), or given back to the
// system after each Load (0: every page fresh; the difference is what
// faulting fresh pages costs). The history keeps as few pictures as it can
// (two) and three Loads come before the timed one, so that the timed one
// finds what the window finds from the fifth Load of an 8000 x 8000 picture
// on (its history holds three of them).
void BM_LoadPicture8000ByFormat(benchmark::State& state)
{
    const QString path = BenchFile(kSide, kFormats[state.range(0)]);
    const bool warm = state.range(1) != 0;
    TForm1 form;
    form.HistoryLimitBytes = 0;
    for (int k = 0; k < 3; ++k)
        form.LoadPicture(path);
    if (!warm)
        KeepFreedLargeBlocks(0);
    FaultCount faults;
    for (auto _ : state) {
        form.LoadPicture(path);
        if (!warm) {
            state.PauseTiming();
            KeepFreedLargeBlocks(0);
            state.ResumeTiming();
        }
    }
    state.counters["faults"] = benchmark::Counter(faults.Since(), benchmark::Counter::kAvgIterations);
    state.SetLabel(std::string(kFormats[state.range(0)]) + (warm ? " reused" : " fresh"));
}
BENCHMARK(BM_LoadPicture8000ByFormat)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Arg: BMP (0) or PGM (1); direct readers on (1) or Qt's reading (0).
void BM_LoadPicture2048(benchmark::State& state)
{
    const bool pgm = state.range(0) == 1;
    const QString path = BenchFile(2048, pgm ? "pgm" : "bmp", pgm);
    TForm1 form;
    SetDirectPictureReadersForTesting(state.range(1) != 0);
    form.LoadPicture(path);
    const FaultCount faults;
    for (auto _ : state)
        form.LoadPicture(path);
    state.counters["faults"] = benchmark::Counter(faults.Since(), benchmark::Counter::kAvgIterations);
    SetDirectPictureReadersForTesting(true);
    state.SetLabel(std::string(pgm ? "pgm" : "bmp") + (state.range(1) ? " direct" : " qt"));
}
BENCHMARK(BM_LoadPicture2048)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);

void BM_PeerSpng8000(benchmark::State& state)
{
    const QByteArray file = Contents(BenchFile(kSide, "png"));
    std::vector<unsigned char> pixels(std::size_t{kSide} * kSide * 3);
    for (auto _ : state) {
        spng_ctx* ctx = spng_ctx_new(0);
        spng_set_png_buffer(ctx, file.constData(), static_cast<std::size_t>(file.size()));
        spng_decode_image(ctx, pixels.data(), pixels.size(), SPNG_FMT_RGB8, 0);
        spng_ctx_free(ctx);
        benchmark::DoNotOptimize(pixels.data());
    }
}
BENCHMARK(BM_PeerSpng8000)->Unit(benchmark::kMillisecond)->Iterations(1);

struct PngSource {
    const QByteArray* file;
    qsizetype at = 0;
};

void BM_PeerLibpng8000(benchmark::State& state)
{
    const QByteArray file = Contents(BenchFile(kSide, "png"));
    std::vector<unsigned char> pixels(std::size_t{kSide} * kSide * 3);
    std::vector<png_bytep> rows(kSide);
    for (int y = 0; y < kSide; ++y)
        rows[y] = pixels.data() + std::size_t{kSide} * 3 * y;
    for (auto _ : state) {
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        PngSource source{&file};
        png_set_read_fn(png, &source, [](png_structp p, png_bytep out, png_size_t n) {
            auto* s = static_cast<PngSource*>(png_get_io_ptr(p));
            std::memcpy(out, s->file->constData() + s->at, n);
            s->at += static_cast<qsizetype>(n);
        });
        png_read_info(png, info);
        png_read_image(png, rows.data());
        png_destroy_read_struct(&png, &info, nullptr);
        benchmark::DoNotOptimize(pixels.data());
    }
}
BENCHMARK(BM_PeerLibpng8000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_PeerTurboJpeg8000(benchmark::State& state)
{
    const QByteArray file = Contents(BenchFile(kSide, "jpg"));
    std::vector<unsigned char> pixels(std::size_t{kSide} * kSide * 4);
    tjhandle handle = tjInitDecompress();
    for (auto _ : state) {
        tjDecompress2(handle, reinterpret_cast<const unsigned char*>(file.constData()),
                      static_cast<unsigned long>(file.size()), pixels.data(), kSide, 0, kSide,
                      TJPF_BGRX, 0);
        benchmark::DoNotOptimize(pixels.data());
    }
    tjDestroy(handle);
}
BENCHMARK(BM_PeerTurboJpeg8000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_PeerLibjpeg8000(benchmark::State& state)
{
    const QByteArray file = Contents(BenchFile(kSide, "jpg"));
    std::vector<unsigned char> pixels(std::size_t{kSide} * kSide * 4);
    for (auto _ : state) {
        jpeg_decompress_struct info{};
        jpeg_error_mgr errors{};
        info.err = jpeg_std_error(&errors);
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(file.constData()),
                     static_cast<unsigned long>(file.size()));
        jpeg_read_header(&info, TRUE);
        info.out_color_space = JCS_EXT_BGRX;
        jpeg_start_decompress(&info);
        while (info.output_scanline < info.output_height) {
            JSAMPROW row = pixels.data() + std::size_t{kSide} * 4 * info.output_scanline;
            jpeg_read_scanlines(&info, &row, 1);
        }
        jpeg_finish_decompress(&info);
        jpeg_destroy_decompress(&info);
        benchmark::DoNotOptimize(pixels.data());
    }
}
BENCHMARK(BM_PeerLibjpeg8000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_PeerLibtiff8000(benchmark::State& state)
{
    const QString path = BenchFile(kSide, "tif");
    std::vector<unsigned char> pixels(std::size_t{kSide} * kSide * 3);
    for (auto _ : state) {
        TIFF* t = TIFFOpen(QFile::encodeName(path).constData(), "rm");
        const tmsize_t stripBytes = TIFFStripSize(t);
        if (static_cast<std::size_t>(TIFFScanlineSize(t)) * kSide > pixels.size())
            state.SkipWithError("the rows hold more than the buffer");
        for (std::uint32_t s = 0; s < TIFFNumberOfStrips(t); ++s)
            TIFFReadEncodedStrip(t, s, pixels.data() + s * static_cast<std::size_t>(stripBytes), -1);
        TIFFClose(t);
        benchmark::DoNotOptimize(pixels.data());
    }
}
BENCHMARK(BM_PeerLibtiff8000)->Unit(benchmark::kMillisecond)->Iterations(1);

// The same decode into a fresh buffer each time, of large pages as the Load's
// own blocks are: the peer of a picture size's first Load, which pays the
// system's clearing of its new pages as the Load does.
void BM_PeerLibtiff8000Fresh(benchmark::State& state)
{
    const QString path = BenchFile(kSide, "tif");
    const std::size_t bytes = std::size_t{kSide} * kSide * 3;
    KeepFreedLargeBlocks(0);
    for (auto _ : state) {
        auto* pixels = static_cast<unsigned char*>(TakeLargeBlock(bytes));
        TIFF* t = TIFFOpen(QFile::encodeName(path).constData(), "rm");
        const tmsize_t stripBytes = TIFFStripSize(t);
        for (std::uint32_t s = 0; s < TIFFNumberOfStrips(t); ++s)
            TIFFReadEncodedStrip(t, s, pixels + s * static_cast<std::size_t>(stripBytes), -1);
        TIFFClose(t);
        benchmark::DoNotOptimize(pixels);
        GiveBackLargeBlock(pixels, bytes);
    }
}
BENCHMARK(BM_PeerLibtiff8000Fresh)->Unit(benchmark::kMillisecond)->Iterations(1);

// ---- Saving ----

// Where a save benchmark writes; removed after each run.
QString SavePath(const char* format)
{
    return QDir(QDir::tempPath()).filePath(QStringLiteral("graybench-bench-save.%1").arg(format));
}

const char* const kSaveFormats[] = {"bmp", "png", "jpg", "tif"};

// The window's Save: the After view (RGB32) through WritePictureFile, the
// temporary file and its replacement included. Arg: the format; direct
// writers on (1) or Qt's writing (0).
void BM_SavePicture8000(benchmark::State& state)
{
    const char* format = kSaveFormats[state.range(0)];
    const QImage picture = Textured(kSide);
    const QString path = SavePath(format);
    SetDirectPictureWritersForTesting(state.range(1) != 0);
    for (auto _ : state)
        WritePictureFile(picture, path);
    SetDirectPictureWritersForTesting(true);
    QFile::remove(path);
    state.SetLabel(std::string(format) + (state.range(1) ? " direct" : " qt"));
}
BENCHMARK(BM_SavePicture8000)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The peers write what Qt writes for this picture (read from Qt's files with
// the libraries: PNG 8-bit RGB at zlib level 6 with libpng's adaptive
// filters; JPEG at quality 100 with 4:2:0 subsampling; TIFF 8-bit RGB,
// uncompressed), from pixels already in the layout they take best, into a
// plain file. The TIFF peer keeps libtiff's default strips of 8 KB; Qt asks
// for strips of about 4 MB.
std::vector<unsigned char> PackedRgb(const QImage& picture)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    std::vector<unsigned char> pixels(std::size_t{kSide} * kSide * 3);
    for (int y = 0; y < kSide; ++y)
        std::memcpy(pixels.data() + std::size_t{kSide} * 3 * y, rgb.constScanLine(y), kSide * 3);
    return pixels;
}

void BM_PeerSaveLibpng8000(benchmark::State& state)
{
    const std::vector<unsigned char> pixels = PackedRgb(Textured(kSide));
    std::vector<png_bytep> rows(kSide);
    for (int y = 0; y < kSide; ++y)
        rows[y] = const_cast<png_bytep>(pixels.data()) + std::size_t{kSide} * 3 * y;
    const QByteArray path = QFile::encodeName(SavePath("png"));
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.constData(), "wb");
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_init_io(png, file);
        png_set_compression_level(png, 6);
        png_set_IHDR(png, info, kSide, kSide, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        png_write_image(png, rows.data());
        png_write_end(png, info);
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
    }
    std::remove(path.constData());
}
BENCHMARK(BM_PeerSaveLibpng8000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_PeerSaveTurboJpeg8000(benchmark::State& state)
{
    const QImage picture = Textured(kSide);
    const QByteArray path = QFile::encodeName(SavePath("jpg"));
    tjhandle handle = tjInitCompress();
    for (auto _ : state) {
        unsigned char* jpeg = nullptr;
        unsigned long size = 0;
        tjCompress2(handle, picture.constBits(), kSide, static_cast<int>(picture.bytesPerLine()),
                    kSide, TJPF_BGRX, &jpeg, &size, TJSAMP_420, 100, 0);
        std::FILE* file = std::fopen(path.constData(), "wb");
        std::fwrite(jpeg, 1, size, file);
        std::fclose(file);
        tjFree(jpeg);
    }
    tjDestroy(handle);
    std::remove(path.constData());
}
BENCHMARK(BM_PeerSaveTurboJpeg8000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_PeerSaveLibtiff8000(benchmark::State& state)
{
    const std::vector<unsigned char> pixels = PackedRgb(Textured(kSide));
    const QByteArray path = QFile::encodeName(SavePath("tif"));
    for (auto _ : state) {
        TIFF* t = TIFFOpen(path.constData(), "w");
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kSide);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, kSide);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        const std::uint32_t rowsPerStrip = TIFFDefaultStripSize(t, 0);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
        const std::size_t rowBytes = std::size_t{kSide} * 3;
        for (std::uint32_t y = 0, s = 0; y < kSide; y += rowsPerStrip, ++s)
            TIFFWriteEncodedStrip(t, s, const_cast<unsigned char*>(pixels.data()) + rowBytes * y,
                                  static_cast<tmsize_t>(rowBytes * std::min<std::uint32_t>(
                                                                      rowsPerStrip, kSide - y)));
        TIFFClose(t);
    }
    std::remove(path.constData());
}
BENCHMARK(BM_PeerSaveLibtiff8000)->Unit(benchmark::kMillisecond)->Iterations(1);

// The floor for an uncompressed format: the bitmap's bytes in one write.
void BM_PeerSaveBytes8000(benchmark::State& state)
{
    const std::vector<unsigned char> pixels = PackedRgb(Textured(kSide));
    const QByteArray path = QFile::encodeName(SavePath("bmp"));
    for (auto _ : state) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        benchmark::DoNotOptimize(::write(fd, pixels.data(), pixels.size()));
        ::close(fd);
    }
    std::remove(path.constData());
}
BENCHMARK(BM_PeerSaveBytes8000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
