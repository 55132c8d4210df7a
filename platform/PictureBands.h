// platform/PictureBands.h: finishing decoded rows band by band, while they are
// still in the cache, on a second core while the decoder goes on.
#pragma once
#include "Image.h"

#include <QImage>
#include <functional>

// Rows a band holds: a multiple of the 16-row blocks the gray image is written in.
constexpr int kBandRows = 32;

// gray[x][y] = (R + G + B) / 3 of picture rows y0 .. y0 + rows - 1, remainder
// dropped, alpha ignored, for any format. strip holds rows x width bytes of
// scratch. Reads only those rows and writes only those rows of gray: two
// threads may fill disjoint bands of one picture once its pixels are allocated.
void GrayBand(const QImage& picture, int y0, int rows, GrayImage& gray, std::uint8_t* strip);

// Reports that rows 0 .. rows - 1 of the picture are decoded (a count that only grows).
using RowsDecoded = std::function<void(int rows)>;

// Runs decode on the calling thread and finish(y0, rows) over the rows decode
// reports, in order, in bands of kBandRows (the last may be shorter): on a
// second thread when one is free, which also faults in the picture's fresh
// pages ahead of the decoder; else on this thread after decode returns. Every
// reported row is finished, also when decode fails; nothing else is. Returns
// what decode returns. The picture's pixels are allocated (bits() called)
// before; neither side may change the QImage itself, only its rows.
bool DecodeInBands(QImage& picture, const std::function<bool(const RowsDecoded&)>& decode,
                   const std::function<void(int y0, int rows)>& finish);
