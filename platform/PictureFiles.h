// platform/PictureFiles.h
#pragma once
#include "Image.h"

#include <QImage>
#include <QString>
#include <stdexcept>

// A picture file that could not be read or written; the message names the file
// and the reason.
class PictureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads any raster picture Qt can read, pixels as stored (no orientation tag
// applied). Throws PictureError, naming the file and the reason, for a file
// that cannot be read, a bitmap shorter than its header promises (Qt would fill
// the missing rows with whatever memory held), and a picture whose size at
// four bytes a pixel passes PictureMemoryLimit() (before any pixel is read).
QImage ReadPictureFile(const QString& path);

// Megabytes of decoded pixels ReadPictureFile accepts: 4096 unless set, so a
// 16000 x 16000 colour picture (977 MB) loads.
int PictureMemoryLimit();
void SetPictureMemoryLimit(int megabytes);

// Writes in the format the file name's extension names when Qt can write it,
// and as a bitmap (BMP) otherwise. Goes through a temporary file that replaces
// the target only when complete, so a failed write leaves an existing file as it
// was. Throws PictureError.
void WritePictureFile(const QImage& picture, const QString& path);

// gray = (R + G + B) / 3, remainder dropped, for every pixel of the picture; the
// alpha channel plays no part. Returns none when memory runs out.
GrayImage GrayFromPicture(const QImage& picture);

// The gray image as a picture of width x height, red = green = blue = image[x][y].
QImage PictureFromGray(const GrayImage& image, int width, int height);
