// tests/reference/FilterReference.h: the neighbourhood filters written out
// literally, pixel by pixel with the window summed afresh, as the reference the
// fast filters are compared against.
#pragma once
#include "Image.h"

// The processed area is the region cut to the image (x in [X1, X2), y in
// [Y1, Y2)); a mask other than 3, 5 or 7 makes the window filters write nothing.
void ReferenceLowpassFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1,
                            int X2, int Y2, int width, int height);
void ReferenceLocalAverageFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1,
                                 int X2, int Y2, int width, int height);
void ReferenceMedianFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1,
                           int X2, int Y2, int width, int height);
void ReferenceGaussianFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1,
                             int X2, int Y2, int width, int height);
void ReferenceLaplacianFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1,
                              int X2, int Y2, int width, int height);
void ReferencePrewittFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1,
                            int X2, int Y2, int width, int height);
void ReferenceSobelFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1, int X2,
                          int Y2, int width, int height);
void ReferenceRobertsFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1,
                            int X2, int Y2, int width, int height);
