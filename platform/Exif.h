// platform/Exif.h
#pragma once
#include <QImage>

// The orientation tag (1..8) of a JPEG's EXIF block or of a TIFF file's first
// directory; 1 (as stored) when there is none or the block is damaged. Every
// offset is checked against size before it is read.
int PictureOrientation(const uchar* data, qint64 size);

// The orientation tag of a TIFF structure (an EXIF block past its "Exif\0\0").
int TiffOrientation(const uchar* tiff, qint64 size);

// The picture turned and mirrored as the tag says, so that it shows upright:
// 2 mirrors left-right, 3 turns half round, 4 mirrors top-bottom, 5 swaps rows
// and columns, 6 turns a quarter clockwise, 7 swaps across the other diagonal,
// 8 turns a quarter anticlockwise. Any other value leaves it as it is.
QImage Oriented(const QImage& picture, int orientation);
