// tests/reference/MorphologyReference.h: gray morphology written out literally,
// neighbour by neighbour, as the reference the fast versions are compared against.
#pragma once
#include "Morphology.h"

void ReferenceDilate(const GrayImage& src, GrayImage& dst, const StructuringElement& element,
                     int a, int x0, int y0, int x1, int y1, int width, int height);
void ReferenceErode(const GrayImage& src, GrayImage& dst, const StructuringElement& element,
                    int a, int x0, int y0, int x1, int y1, int width, int height);
void ReferenceOpen(const GrayImage& src, GrayImage& dst, const StructuringElement& element,
                   int a, int x0, int y0, int x1, int y1, int width, int height);
void ReferenceClose(const GrayImage& src, GrayImage& dst, const StructuringElement& element,
                    int a, int x0, int y0, int x1, int y1, int width, int height);
void ReferenceProperOpen(const GrayImage& src, GrayImage& dst, const StructuringElement& element,
                         int a, int x0, int y0, int x1, int y1, int width, int height);
void ReferenceProperClose(const GrayImage& src, GrayImage& dst, const StructuringElement& element,
                          int a, int x0, int y0, int x1, int y1, int width, int height);
void ReferenceAutoMedian(const GrayImage& src, GrayImage& dst, const StructuringElement& element,
                         int a, int x0, int y0, int x1, int y1, int width, int height);

// Every round run, as the run button does it: dst starts as a copy of src, and
// each round copies dst into a work image and dilates (erodes) it back into dst.
void ReferenceDilateRounds(const GrayImage& src, GrayImage& dst, const StructuringElement& element,
                           int a, int rounds, int width, int height);
void ReferenceErodeRounds(const GrayImage& src, GrayImage& dst, const StructuringElement& element,
                          int a, int rounds, int width, int height);
