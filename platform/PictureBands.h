// platform/PictureBands.h: finishing decoded rows band by band, while they are
// still in the cache, on a second core while the decoder goes on.
#pragma once
#include "Image.h"

#include <QImage>
#include <functional>
#include <vector>

// Rows a band holds: a multiple of the 16-row blocks the gray image is written in.
constexpr int kBandRows = 32;

// Rows of the gray image written at a time: each column then takes a run of
// 256 bytes. The columns of a wide picture lie thousands of bytes apart, and
// memory takes such runs several times faster than single lines (8000 x 8000
// with 16 x 16 blocks: 7 ms in runs of 256 rows, 10 ms of 64 rows, 12-20 ms of
// 32 rows; copying the whole image takes 3 ms).
constexpr int kGrayRows = 256;

// gray[x][y] = (R + G + B) / 3 of picture rows y0 .. y0 + rows - 1, remainder
// dropped, alpha ignored, for any format. strip holds rows x width bytes of
// scratch. Reads only those rows and writes only those rows of gray: two
// threads may fill disjoint bands of one picture once its pixels are allocated.
void GrayBand(const QImage& picture, int y0, int rows, GrayImage& gray, std::uint8_t* strip);

// The gray image of a picture whose rows are finished in bands from the top
// down (as DecodeInBands calls finish): Add converts a band's rows while they
// are in the cache, into a strip of kGrayRows rows (fewer when they would pass
// 8 MB, at least kBandRows), and writes the strip into the gray image when it
// is full, at the picture's last row, and at the end.
class GrayBands {
public:
    GrayBands(const QImage& picture, GrayImage& gray);
    ~GrayBands() { Write(); }
    GrayBands(const GrayBands&) = delete;
    GrayBands& operator=(const GrayBands&) = delete;
    // Rows y0 .. y0 + rows - 1, the band after the one added before.
    void Add(int y0, int rows);

private:
    void Write();

    const QImage& picture_;
    GrayImage& gray_;
    int stripRows_ = kGrayRows;        // fewer for a picture too wide for 8 MB of them
    std::vector<std::uint8_t> strip_;  // none for an 8-bit gray picture: its rows serve
    int first_ = 0, held_ = 0;         // rows first_ .. first_ + held_ - 1 wait in the strip
};

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
