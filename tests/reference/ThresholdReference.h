// tests/reference/ThresholdReference.h: the histogram and threshold functions
// written out literally, pixel by pixel, as the reference the fast ones are
// compared against.
#pragma once
#include "Image.h"

void ReferenceHistogramImage(const GrayImage& src, GrayImage& hist, int x0, int y0, int x1,
                             int y1);
void ReferenceThresholdImage(const GrayImage& src, GrayImage& dst, int mode, int t, int x0,
                             int y0, int x1, int y1);
void ReferenceThresholdBand(const GrayImage& src, GrayImage& dst, int lower, int upper, int x0,
                            int y0, int x1, int y1);
int ReferenceAutoThreshold(const GrayImage& src, int x0, int y0, int x1, int y1, int width,
                           int height);
int ReferenceCountAtOrAbove(const GrayImage& image, int t, int x0, int y0, int x1, int y1);
