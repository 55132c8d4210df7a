// platform/PictureWriters.h
#pragma once
#include <QByteArray>
#include <QIODevice>
#include <QImage>

// Direct writers for the uncompressed kinds of picture the workbench saves:
// 8-bit gray, RGB32 and ARGB32 pictures as BMP and TIFF, where Qt's writers
// spend most of their time converting rows. Each writes exactly the bytes
// Qt's writer writes for that picture (header, strips, resolution), but for
// the bytes that pad a bitmap's 8-bit rows, which are zero (Qt copies the
// picture's own padding, whatever it holds). PNG and JPEG time goes to the
// compressor, which Qt drives as fast as the libraries do: Qt writes those.
//
// Takes the picture and writes it to out when format ("bmp", "tif", "tiff")
// and picture are of a kind it takes and the picture carries nothing
// Qt would add to the file (text, a colour space); returns Taken::No having
// written nothing otherwise, and the caller writes through Qt. Taken::Failed:
// a write to out failed, and out knows why.
enum class Taken { No, Written, Failed };
Taken WritePictureDirectly(const QImage& picture, const QByteArray& format, QIODevice& out);

// Tests and benchmarks: false writes every file through Qt, which the direct
// writers must match.
void SetDirectPictureWritersForTesting(bool on);
bool DirectPictureWriters();
