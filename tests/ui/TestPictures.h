// tests/ui/TestPictures.h: colour pictures whose gray values a reader can work out.
#pragma once
#include <QImage>

// Pixel (x, y) = (x % 256, y % 256, (x + y) % 256); its gray value is
// (x % 256 + y % 256 + (x + y) % 256) / 3.
inline QImage ColourPicture(int width = 640, int height = 480)
{
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, qRgb(x % 256, y % 256, (x + y) % 256));
    return picture;
}
