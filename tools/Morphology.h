// tools/Morphology.h
#pragma once
#include "Image.h"

#include <array>
#include <cstdint>

// A flat structuring element drawn on a 7 x 7 grid, indexed [column][row] like
// the images. With s = (a - 1) / 2 for the element size a (3, 5 or 7; s is kept
// within 0..3 for any other a), the neighbour at (dx, dy) from the centre belongs
// to the element when element[3 + dx][3 + dy] is non-zero and |dx|, |dy| <= s:
// cells outside the centred window are ignored.
using StructuringElement = std::array<std::array<std::uint8_t, 7>, 7>;

// Gray morphology over the half-open rectangle x0 <= x < x1, y0 <= y < y1 of a
// source of width x height, which the caller keeps inside the source. Every
// function writes dst[x - x0][y - y0], so dst is sized (x1 - x0) x (y1 - y0),
// and dst is never src. An empty rectangle writes nothing; so does a run whose
// work images cannot be allocated.
//
// At the image border the element is cut: a pixel outside the source takes no
// part. A pixel with no element cell inside the source (always so for an empty
// element) becomes 0 under dilation and 255 under erosion.

// Gray dilation: the maximum of the source over the element.
void Dilate(const GrayImage& src, GrayImage& dst, const StructuringElement& element, int a,
            int x0, int y0, int x1, int y1, int width, int height);
// Gray erosion: the minimum of the source over the element.
void Erode(const GrayImage& src, GrayImage& dst, const StructuringElement& element, int a,
           int x0, int y0, int x1, int y1, int width, int height);

// Dilate(Erode(src)). The second pass works on the rectangle as an image of its
// own, so its border cut lies at the rectangle's edges.
void Open(const GrayImage& src, GrayImage& dst, const StructuringElement& element, int a,
          int x0, int y0, int x1, int y1, int width, int height);
// Erode(Dilate(src)), with the same border rule as Open.
void Close(const GrayImage& src, GrayImage& dst, const StructuringElement& element, int a,
           int x0, int y0, int x1, int y1, int width, int height);

// min(src, Close(Open(Close(src)))) pixel by pixel: never brighter than src.
void ProperOpen(const GrayImage& src, GrayImage& dst, const StructuringElement& element, int a,
                int x0, int y0, int x1, int y1, int width, int height);
// max(src, Open(Close(Open(src)))) pixel by pixel: never darker than src.
void ProperClose(const GrayImage& src, GrayImage& dst, const StructuringElement& element, int a,
                 int x0, int y0, int x1, int y1, int width, int height);
// ProperClose(ProperOpen(src)).
void AutoMedian(const GrayImage& src, GrayImage& dst, const StructuringElement& element, int a,
                int x0, int y0, int x1, int y1, int width, int height);

// Repeated dilation (erosion) of the whole image: dst becomes the rounds-fold
// dilation (erosion) of src, each round working on the result of the one
// before. Fewer than one round copies src. The rounds stop early once the
// images repeat: a round that changes nothing (or brings back an image seen
// before) fixes every later round, so a count of a billion ends at once with
// the same image the billion rounds would give.
void DilateRounds(const GrayImage& src, GrayImage& dst, const StructuringElement& element, int a,
                  int rounds, int width, int height);
void ErodeRounds(const GrayImage& src, GrayImage& dst, const StructuringElement& element, int a,
                 int rounds, int width, int height);

// The largest (smallest) of count >= 1 values: the first one, replaced only by
// a strictly larger (smaller) one.
int MaxOf(const int* values, int count);
int MinOf(const int* values, int count);
