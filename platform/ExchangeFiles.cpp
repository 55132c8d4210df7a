// platform/ExchangeFiles.cpp
#include "ExchangeFiles.h"

#include <QDir>
#include <QStandardPaths>

QString ExchangeFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(folder);
    return folder;
}

QString TemplateFilePath() { return QDir(ExchangeFolder()).filePath(QStringLiteral("temp.bmp")); }

QString ToolPictureFilePath()
{
    return QDir(ExchangeFolder()).filePath(QStringLiteral("temp1.bmp"));
}

QImage PictureOfRegion(const GrayImage& image, const Region& region)
{
    const int width = region.X2 - region.X1, height = region.Y2 - region.Y1;
    if (!image || width <= 0 || height <= 0)
        return {};
    QImage picture(width, height, QImage::Format_RGB32);
    if (picture.isNull())
        return {};
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int g = image[region.X1 + x][region.Y1 + y];
            line[x] = qRgb(g, g, g);
        }
    }
    return picture;
}
