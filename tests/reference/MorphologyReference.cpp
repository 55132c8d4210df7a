// tests/reference/MorphologyReference.cpp
#include "MorphologyReference.h"

#include <algorithm>

namespace {

int LiteralMaxOf(const int* values, int count)
{
    int m = values[0];
    for (int i = 1; i < count; ++i)
        if (values[i] > m)
            m = values[i];
    return m;
}

int LiteralMinOf(const int* values, int count)
{
    int m = values[0];
    for (int i = 1; i < count; ++i)
        if (values[i] < m)
            m = values[i];
    return m;
}

// One value per neighbour inside the source, dx outer and dy inner: the pixel
// where the offset is in the element, else the value that cannot win (0 for
// the maximum, 255 for the minimum). Neighbours outside the source give none.
void Collect(bool dilate, const GrayImage& src, GrayImage& dst, const StructuringElement& element,
             int a, int x0, int y0, int x1, int y1, int width, int height)
{
    const int s = std::clamp((a - 1) / 2, 0, 3);
    for (int x = x0; x < x1; ++x)
        for (int y = y0; y < y1; ++y) {
            int values[49];
            int count = 0;
            for (int dx = -s; dx <= s; ++dx)
                for (int dy = -s; dy <= s; ++dy) {
                    if (x + dx < 0 || x + dx >= width || y + dy < 0 || y + dy >= height)
                        continue;
                    if (element[3 + dx][3 + dy] != 0)
                        values[count++] = src[x + dx][y + dy];
                    else
                        values[count++] = dilate ? 0 : 255;
                }
            const int v = dilate ? LiteralMaxOf(values, count) : LiteralMinOf(values, count);
            dst[x - x0][y - y0] = static_cast<std::uint8_t>(v);
        }
}

using Operator = void (*)(const GrayImage&, GrayImage&, const StructuringElement&, int, int, int,
                          int, int, int, int);

// Open and Close: first pass over the rectangle of the source, second pass over
// the work image as a whole image of the rectangle's size.
void TwoPasses(Operator first, Operator second, const GrayImage& src, GrayImage& dst,
               const StructuringElement& element, int a, int x0, int y0, int x1, int y1,
               int width, int height)
{
    const int w = x1 - x0, h = y1 - y0;
    GrayImage work = NewGrayImage(w, h);
    first(src, work, element, a, x0, y0, x1, y1, width, height);
    second(work, dst, element, a, 0, 0, w, h, w, h);
}

// ProperOpen (outer Close) and ProperClose (outer Open), then the pixelwise
// minimum (maximum) with the source.
void ProperChain(Operator outer, Operator inner, bool keepDarker, const GrayImage& src,
                 GrayImage& dst, const StructuringElement& element, int a, int x0, int y0,
                 int x1, int y1, int width, int height)
{
    const int w = x1 - x0, h = y1 - y0;
    GrayImage A = NewGrayImage(w, h), B = NewGrayImage(w, h);
    outer(src, A, element, a, x0, y0, x1, y1, width, height);
    inner(A, B, element, a, 0, 0, w, h, w, h);
    outer(B, dst, element, a, 0, 0, w, h, w, h);
    for (int x = x0; x < x1; ++x)
        for (int y = y0; y < y1; ++y) {
            std::uint8_t& d = dst[x - x0][y - y0];
            if (keepDarker ? src[x][y] < d : src[x][y] > d)
                d = src[x][y];
        }
}

void Rounds(Operator pass, const GrayImage& src, GrayImage& dst,
            const StructuringElement& element, int a, int rounds, int width, int height)
{
    CopyGrayImage(src, dst, width, height);
    GrayImage work = NewGrayImage(width, height);
    for (int done = 0; rounds > done; ++done) {
        CopyGrayImage(dst, work, width, height);
        pass(work, dst, element, a, 0, 0, width, height, width, height);
    }
}

}  // namespace

void ReferenceDilate(const GrayImage& src, GrayImage& dst, const StructuringElement& element,
                     int a, int x0, int y0, int x1, int y1, int width, int height)
{
    Collect(true, src, dst, element, a, x0, y0, x1, y1, width, height);
}

void ReferenceErode(const GrayImage& src, GrayImage& dst, const StructuringElement& element,
                    int a, int x0, int y0, int x1, int y1, int width, int height)
{
    Collect(false, src, dst, element, a, x0, y0, x1, y1, width, height);
}

void ReferenceOpen(const GrayImage& src, GrayImage& dst, const StructuringElement& element,
                   int a, int x0, int y0, int x1, int y1, int width, int height)
{
    TwoPasses(ReferenceErode, ReferenceDilate, src, dst, element, a, x0, y0, x1, y1, width, height);
}

void ReferenceClose(const GrayImage& src, GrayImage& dst, const StructuringElement& element,
                    int a, int x0, int y0, int x1, int y1, int width, int height)
{
    TwoPasses(ReferenceDilate, ReferenceErode, src, dst, element, a, x0, y0, x1, y1, width, height);
}

void ReferenceProperOpen(const GrayImage& src, GrayImage& dst, const StructuringElement& element,
                         int a, int x0, int y0, int x1, int y1, int width, int height)
{
    ProperChain(ReferenceClose, ReferenceOpen, true, src, dst, element, a, x0, y0, x1, y1, width,
                height);
}

void ReferenceProperClose(const GrayImage& src, GrayImage& dst, const StructuringElement& element,
                          int a, int x0, int y0, int x1, int y1, int width, int height)
{
    ProperChain(ReferenceOpen, ReferenceClose, false, src, dst, element, a, x0, y0, x1, y1, width,
                height);
}

void ReferenceAutoMedian(const GrayImage& src, GrayImage& dst, const StructuringElement& element,
                         int a, int x0, int y0, int x1, int y1, int width, int height)
{
    const int w = x1 - x0, h = y1 - y0;
    GrayImage work = NewGrayImage(w, h);
    ReferenceProperOpen(src, work, element, a, x0, y0, x1, y1, width, height);
    ReferenceProperClose(work, dst, element, a, 0, 0, w, h, w, h);
}

void ReferenceDilateRounds(const GrayImage& src, GrayImage& dst, const StructuringElement& element,
                           int a, int rounds, int width, int height)
{
    Rounds(ReferenceDilate, src, dst, element, a, rounds, width, height);
}

void ReferenceErodeRounds(const GrayImage& src, GrayImage& dst, const StructuringElement& element,
                          int a, int rounds, int width, int height)
{
    Rounds(ReferenceErode, src, dst, element, a, rounds, width, height);
}
