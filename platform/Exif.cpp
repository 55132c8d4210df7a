// platform/Exif.cpp
#include "Exif.h"

#include <QTransform>

#include <cstdint>
#include <cstring>

namespace {

constexpr int kOrientationTag = 274;

}  // namespace

int TiffOrientation(const uchar* tiff, qint64 size)
{
    if (size < 8 || !((tiff[0] == 'I' && tiff[1] == 'I') || (tiff[0] == 'M' && tiff[1] == 'M')))
        return 1;
    const bool little = tiff[0] == 'I';
    // Every read goes through here, so no offset of a damaged block leaves it.
    const auto number = [&](qint64 at, int bytes) -> qint64 {
        if (at < 0 || at + bytes > size)
            return -1;
        std::uint32_t v = 0;
        for (int k = 0; k < bytes; ++k)
            v |= static_cast<std::uint32_t>(tiff[at + k]) << 8 * (little ? k : bytes - 1 - k);
        return v;
    };
    if (number(2, 2) != 42)
        return 1;
    const qint64 directory = number(4, 4), entries = number(directory, 2);
    for (qint64 e = 0; e < entries; ++e) {
        const qint64 at = directory + 2 + 12 * e;
        const qint64 tag = number(at, 2);
        if (tag < 0)
            return 1;
        if (tag != kOrientationTag)
            continue;
        // SHORT, one of them, held in the entry itself.
        if (number(at + 2, 2) != 3 || number(at + 4, 4) != 1)
            return 1;
        const qint64 value = number(at + 8, 2);
        return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
    }
    return 1;
}

int PictureOrientation(const uchar* data, qint64 size)
{
    if (size >= 4 && (data[0] == 'I' || data[0] == 'M'))
        return TiffOrientation(data, size);
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return 1;
    // The segments before the first scan, each skipped by its length; the
    // first one that is an EXIF block decides.
    qint64 i = 2;
    while (i + 4 <= size && data[i] == 0xFF) {
        const uchar marker = data[i + 1];
        if (marker == 0xFF) {  // a fill byte
            ++i;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)
            return 1;
        const qint64 length = data[i + 2] << 8 | data[i + 3];
        if (length < 2 || i + 2 + length > size)
            return 1;
        const uchar* segment = data + i + 4;
        const qint64 bytes = length - 2;
        if (marker == 0xE1 && bytes >= 6 && std::memcmp(segment, "Exif\0\0", 6) == 0)
            return TiffOrientation(segment + 6, bytes - 6);
        i += 2 + length;
    }
    return 1;
}

QImage Oriented(const QImage& picture, int orientation)
{
    if (orientation < 2 || orientation > 8)
        return picture;
    if (orientation <= 4)
        return picture.mirrored(orientation != 4, orientation != 2);
    // Qt turns pictures of a byte a pixel or more by moving pixels; one of a
    // bit a pixel takes the general, sampling path. Indexed8 keeps the colours.
    const QImage source =
        picture.depth() < 8 ? picture.convertToFormat(QImage::Format_Indexed8) : picture;
    const QImage turned =
        source.transformed(QTransform().rotate(orientation == 8 ? 270 : 90));
    if (orientation == 5)
        return turned.mirrored(true, false);
    if (orientation == 7)
        return turned.mirrored(false, true);
    return turned;
}
