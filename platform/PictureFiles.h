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

// Reads any raster picture Qt can read, the common kinds through direct
// readers (PictureDecoders.h) that give the picture Qt gives. A JPEG or TIFF
// whose orientation tag says it is turned or mirrored is turned upright
// (Exif.h); a damaged tag is ignored. Throws PictureError, naming the file and
// the reason, for anything but a regular file (found with stat, before it is
// opened: a named pipe would block the read), a file that cannot be read, a
// bitmap shorter than its header promises (Qt would fill the missing rows with
// whatever memory held), a picture whose size at four bytes a pixel passes
// PictureMemoryLimit() (before any pixel is read), a JPEG, GIF, TIFF or XBM
// file that ends before its picture data does, and a JPEG whose decoder warns
// of damaged data. Those decoders would fill in what is missing without a word.
QImage ReadPictureFile(const QString& path);

// ReadPictureFile, and gray = GrayFromPicture of the picture it returns (none
// when memory runs out). The direct readers make the gray image as they
// decode, band by band while the rows are in the cache.
QImage ReadPictureFile(const QString& path, GrayImage& gray);

// Megabytes of decoded pixels ReadPictureFile accepts: 4096 unless set, so a
// 16000 x 16000 colour picture (977 MB) loads.
int PictureMemoryLimit();
void SetPictureMemoryLimit(int megabytes);

// Tests: false reads every file through Qt, which the direct readers must match.
void SetDirectPictureReadersForTesting(bool on);

// Writes in the format the file name's extension names, as a bitmap (BMP)
// when it has none; JPEG and WebP at quality 100 (for WebP: lossless). Goes
// through a temporary file that replaces the target only when complete, so a
// failed write leaves an existing file as it was and no temporary file behind.
// Throws PictureError with the reason: an extension naming no format that can
// be written (the message lists those that can), a target that is no regular
// file, a side over what the format holds (JPEG 65,500, WebP 16,383), or the
// system's reason for a failed write ("No space left on device").
void WritePictureFile(const QImage& picture, const QString& path);

// The question to ask before writing path in a format that changes pixels
// (JPEG); empty when the format keeps them.
QString LossySaveWarning(const QString& path);

// Tests: the picture files written from now on fail as on a full disk once
// they would pass bytes; negative restores the real disk.
void SetPictureDiskRoomForTesting(qint64 bytes);

// gray = (R + G + B) / 3, remainder dropped, for every pixel of the picture; the
// alpha channel plays no part. Returns none when memory runs out.
GrayImage GrayFromPicture(const QImage& picture);

// The gray image as a picture of width x height, red = green = blue = image[x][y].
QImage PictureFromGray(const GrayImage& image, int width, int height);
