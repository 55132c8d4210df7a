// fuzz/fuzz_exif.cpp: the orientation tag read from any bytes, as a JPEG's
// EXIF block, as a TIFF file and as the bytes themselves. The answer is always
// 1..8 and nothing is read past the end (the sanitizer watches the bytes,
// copied to a block of exactly their size); a picture turned by the answer
// keeps its pixel count, its sides swapped for 5..8.
#include "Exif.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

int Orientation(const unsigned char* bytes, std::size_t size)
{
    const auto copy = std::make_unique<unsigned char[]>(size + 1);
    std::memcpy(copy.get(), bytes, size);
    const int orientation = PictureOrientation(copy.get(), static_cast<qint64>(size));
    Check(orientation >= 1 && orientation <= 8, "orientation in 1..8");
    return orientation;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size)
{
    Orientation(data, size);
    // The same bytes as the EXIF block of a JPEG's first segment.
    const std::size_t length = std::min<std::size_t>(size, 65000);
    std::unique_ptr<unsigned char[]> jpeg(new unsigned char[length + 12]);
    std::memcpy(jpeg.get(), "\xFF\xD8\xFF\xE1\0\0Exif\0\0", 12);
    jpeg[4] = static_cast<unsigned char>((length + 8) >> 8);
    jpeg[5] = static_cast<unsigned char>((length + 8) & 255);
    std::memcpy(jpeg.get() + 12, data, length);
    const int orientation = Orientation(jpeg.get(), length + 12);
    const QImage picture(3, 2, QImage::Format_Grayscale8);
    const QImage turned = Oriented(picture, orientation);
    Check(turned.width() == (orientation >= 5 ? 2 : 3), "turned width");
    Check(turned.height() == (orientation >= 5 ? 3 : 2), "turned height");
    return 0;
}
