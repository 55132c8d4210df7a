// bench/PictureFilesBench.cpp: reading 8000 x 8000 pictures of each common
// kind through the direct readers, through Qt's readers, and through the bare
// decoder libraries (the peers: decoding only, into a buffer of their own);
// loading 2048 x 2048 bitmaps and gray PGM files as the window does.
#include "PictureFiles.h"
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

// The window's Load: read, gray, the workspace's copies.
void BM_LoadPicture8000ByFormat(benchmark::State& state)
{
    const QString path = BenchFile(kSide, kFormats[state.range(0)]);
    TForm1 form;
    for (auto _ : state)
        form.LoadPicture(path);
    state.SetLabel(kFormats[state.range(0)]);
}
BENCHMARK(BM_LoadPicture8000ByFormat)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(1);

// Arg: BMP (0) or PGM (1); direct readers on (1) or Qt's reading (0).
void BM_LoadPicture2048(benchmark::State& state)
{
    const bool pgm = state.range(0) == 1;
    const QString path = BenchFile(2048, pgm ? "pgm" : "bmp", pgm);
    TForm1 form;
    SetDirectPictureReadersForTesting(state.range(1) != 0);
    for (auto _ : state)
        form.LoadPicture(path);
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
    for (auto _ : state) {
        TIFF* t = TIFFOpen(QFile::encodeName(path).constData(), "rm");
        const tmsize_t stripBytes = TIFFStripSize(t);
        std::vector<unsigned char> pixels(static_cast<std::size_t>(stripBytes) * TIFFNumberOfStrips(t));
        for (std::uint32_t s = 0; s < TIFFNumberOfStrips(t); ++s)
            TIFFReadEncodedStrip(t, s, pixels.data() + s * static_cast<std::size_t>(stripBytes), -1);
        TIFFClose(t);
        benchmark::DoNotOptimize(pixels.data());
    }
}
BENCHMARK(BM_PeerLibtiff8000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
