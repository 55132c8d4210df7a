// tools/Threshold.h
#pragma once
#include "Image.h"

// Histogram and binarisation over the half-open rectangle x0 <= x < x1,
// y0 <= y < y1. The functions are not told the image's size, so the caller
// keeps the rectangle inside the image; a reversed one (x1 <= x0 or y1 <= y0)
// covers nothing. Any threshold and mode are safe. AutoThreshold, which is told
// the size, takes any rectangle and cuts it to the image.

// Fills the whole 256 x 64 histogram image: column i is gray level i, a white bar
// of (count · 64) / peak rows grows up from row 63 on black.
void HistogramImage(const GrayImage& src, GrayImage& hist, int x0, int y0, int x1, int y1);

// mode 0 (dark objects): 255 where v <= t, else 0; mode 1 (bright objects): 255
// where v >= t, else 0. Any other mode writes nothing.
void ThresholdImage(const GrayImage& src, GrayImage& dst, int mode, int t, int x0, int y0,
                    int x1, int y1);

// 0 inside the band lower <= v <= upper, 255 outside it (the opposite polarity
// to ThresholdImage). With lower > upper every pixel becomes 255.
void ThresholdBand(const GrayImage& src, GrayImage& dst, int lower, int upper, int x0, int y0,
                   int x1, int y1);

// Mean gray value weighted by the forward gradient |right − v| + |below − v|,
// over the pixels of the rectangle with a right and a lower neighbour in the
// image; 255 when all weights are 0 (flat, one pixel wide or high, empty, or a
// rectangle outside the image).
int AutoThreshold(const GrayImage& src, int x0, int y0, int x1, int y1, int width, int height);

// Number of pixels with value >= t.
int CountAtOrAbove(const GrayImage& image, int t, int x0, int y0, int x1, int y1);
