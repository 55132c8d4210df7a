// fuzz/fuzz_picture_loader.cpp: the picture loader and the gray conversion fed
// any bytes: the first byte picks the file name's extension (which steers Qt's
// choice of reader), the rest is the file. A file is either refused with a
// PictureError or becomes a gray image of its size, gray = (R + G + B) / 3,
// the one the reader makes as it decodes equal to GrayFromPicture's.
// Every input is also read cut short at a length its last two bytes pick, so
// each seed is tried truncated inside its pixels as well as whole.
#include "PictureFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

QTemporaryDir* folder = nullptr;

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Qt's readers warn about every damaged file; the fuzzer's report is what counts.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    static QCoreApplication app(*argc, *argv);
    folder = new QTemporaryDir;  // lives as long as the process
    // Pictures the fuzzer makes up may claim any size: keep a decode within the
    // fuzzer's memory limit. The refusal of larger ones is what is tested.
    SetPictureMemoryLimit(256);
    return folder->isValid() ? 0 : 1;
}

namespace {

void LoadOne(const QString& path, const unsigned char* bytes, std::size_t size)
{
    {
        QFile file(path);
        Check(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "temporary file");
        file.write(reinterpret_cast<const char*>(bytes), static_cast<qint64>(size));
    }
    QImage picture;
    GrayImage banded;  // made by the reader as it decodes
    try {
        picture = ReadPictureFile(path, banded);
    } catch (const PictureError& error) {
        Check(std::strstr(error.what(), "picture") != nullptr, "the message names the picture");
        QFile::remove(path);
        return;
    }
    QFile::remove(path);
    Check(!picture.isNull(), "a picture that was read");
    const int w = picture.width(), h = picture.height();
    const GrayImage gray = GrayFromPicture(picture);
    Check(static_cast<bool>(gray), "memory for the gray image");
    Check(static_cast<bool>(banded), "memory for the reader's gray image");
    for (int x = 0; x < w; ++x)
        Check(std::memcmp(gray[x], banded[x], static_cast<std::size_t>(h)) == 0,
              "the reader's gray image is GrayFromPicture's");
    // Spot checks of the conversion: corners and centre.
    const QImage rgb = picture.convertToFormat(QImage::Format_ARGB32);
    for (const auto& [x, y] : {std::pair{0, 0}, {w - 1, h - 1}, {w / 2, h / 2}, {w - 1, 0}}) {
        const QRgb p = rgb.pixel(x, y);
        Check(gray[x][y] == (qRed(p) + qGreen(p) + qBlue(p)) / 3, "gray = (R + G + B) / 3");
    }
    const QImage back = PictureFromGray(gray, w, h);
    Check(back.width() == w && back.height() == h, "the gray picture's size");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size)
{
    static const char* const kExtensions[] = {"",     ".bmp", ".png", ".jpg", ".tif", ".pgm",
                                              ".ppm", ".pbm", ".gif", ".xpm", ".ico", ".tga",
                                              ".webp", ".xbm", ".wbmp", ".icns"};
    if (size == 0)
        return 0;
    const QString path =
        folder->filePath(QStringLiteral("picture") +
                         QString::fromLatin1(kExtensions[data[0] % std::size(kExtensions)]));
    LoadOne(path, data + 1, size - 1);
    if (size > 3) {  // the same file cut short: its last two bytes pick where
        const std::size_t cut = (data[size - 2] << 8 | data[size - 1]) % (size - 1);
        LoadOne(path, data + 1, cut);
    }
    return 0;
}
