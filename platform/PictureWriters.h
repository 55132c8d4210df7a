// platform/PictureWriters.h
#pragma once
#include <QByteArray>
#include <QIODevice>
#include <QImage>

// Direct writers for the common kinds of picture the workbench saves: 8-bit
// gray, RGB32 and ARGB32 pictures as BMP, PNG and TIFF. Each writes exactly the
// bytes Qt's writer writes for that picture (format, compression level,
// filters, strips, resolution), so the file reads back as Qt's does.
//
// Takes the picture and writes it to out when format ("bmp", "png", "tif",
// "tiff") and picture are of a kind it takes and the picture carries nothing
// Qt would add to the file (text, a colour space); returns Taken::No having
// written nothing otherwise, and the caller writes through Qt. Taken::Failed:
// a write to out failed, and out knows why.
enum class Taken { No, Written, Failed };
Taken WritePictureDirectly(const QImage& picture, const QByteArray& format, QIODevice& out);

// Tests and benchmarks: false writes every file through Qt, which the direct
// writers must match.
void SetDirectPictureWritersForTesting(bool on);
bool DirectPictureWriters();
