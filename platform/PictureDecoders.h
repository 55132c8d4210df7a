// platform/PictureDecoders.h
#pragma once
#include "Image.h"

#include <QImage>

// Direct readers for the common kinds of picture file, decoding straight into
// the picture: 8- and 16-bit PNG (gray, gray with alpha, RGB, RGBA, 8-bit
// palette, interlaced or not), baseline and progressive JPEG in gray or colour,
// 8-bit gray or RGB TIFF in strips or tiles, uncompressed 8-, 24- and 32-bit
// BMP, and binary PGM and PPM of 8 bits a sample.
//
// Each gives exactly the picture Qt's reader gives for that file: pixels,
// format, colour table and resolution. For anything else (another kind, a
// colour profile or text Qt would attach, a warning of the decoder, a damaged
// or cut file, a picture over maxBytes at four bytes a pixel) it gives a null
// picture and the caller reads the file with Qt, which refuses it or reads it
// as before. format names the kind decoded ("png", "jpeg", ...).
//
// With gray, PNG, JPEG, BMP, PGM and PPM also fill *gray with the picture's
// gray image (as GrayFromPicture makes it) while they decode; it is left none
// for the other kinds, when memory runs out, and is meaningless when the
// picture is null.
//
// file, when not negative, is the open file the bytes are mapped from: the
// readers of uncompressed rows (TIFF strips, BMP, PGM, PPM) then read their
// rows from it a band at a time, not through the mapping, whose small pages
// make walking a large file several times slower than reading it. A read
// that comes short (the file cut meanwhile) gives a null picture.
QImage DecodePictureDirectly(const uchar* data, qint64 size, qint64 maxBytes, QByteArray& format,
                             GrayImage* gray = nullptr, int file = -1);

// A picture of width x height whose pixels start on a large page when it is
// large, so that filling it faults once a 2 MB page, not once every 4 KB.
// Null when memory runs out.
QImage NewPictureBuffer(int width, int height, QImage::Format format);
