// tests/ui/TestPictures.h: colour pictures whose gray values a reader can work out,
// and files of given bytes.
#pragma once
#include <gtest/gtest.h>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

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

// The bytes as a file named name in dir; its path.
inline QString Write(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    return path;
}
