// tools/Filter.h
#pragma once
#include "Image.h"

// Neighbourhood filters over the processed area X1 <= x < X2, Y1 <= y < Y2, cut
// to the image: the region's last column X2 and last row Y2 are not written, and
// an empty or outside region writes nothing. Each filter reads only src and
// writes only the processed area of dst; the rest of dst is left alone. src and
// dst are different images of width x height.
//
// mask is the window side: 3, 5 or 7 (any other value makes the five window
// filters write nothing; the three gradient filters ignore it). At the image
// border the window shrinks to the pixels that exist; nothing outside the image
// is invented. Pixels of the window outside the region are used like any other.
//
// The results do not depend on how many worker threads share the work.

// Mean of the window, rounded down.
void LowpassFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1, int X2, int Y2,
                   int width, int height);
// Mean of the window without its centre, rounded down. A one-pixel image has no
// neighbours, so its pixel keeps its value.
void LocalAverageFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1, int X2,
                        int Y2, int width, int height);
// Value at index n / 2 of the n window pixels sorted ascending: the median of a
// full window, the upper of the two middle values for an even n at the border.
void MedianFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1, int X2, int Y2,
                  int width, int height);
// Weighted mean with the Gaussian table of the mask size, rounded down; at the
// border the divisor is the sum of the weights that remain.
void GaussianFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1, int X2, int Y2,
                    int width, int height);
// Centre weighted mask² − 1, every other pixel −1, clamped to 0..255. At the
// border the missing −1 terms are absent, so flat areas there come out positive.
void LaplacianFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1, int X2, int Y2,
                     int width, int height);
// Gradient magnitudes on 3 x 3 (Prewitt, Sobel) and 2 x 2 (Roberts) windows: each
// difference divided (by 4, or by 2 for Roberts) truncating toward zero, then the
// square root of the sum of squares, truncated and limited to 255. Pixels on the
// image's outer frame (Roberts: its last column and last row) give 0.
void PrewittFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1, int X2, int Y2,
                   int width, int height);
void SobelFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1, int X2, int Y2,
                 int width, int height);
void RobertsFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1, int X2, int Y2,
                   int width, int height);
