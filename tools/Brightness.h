// tools/Brightness.h
#pragma once
#include "Image.h"

#include <array>
#include <cstdint>

// A 256-entry lookup table from brightness, contrast and gamma: index = input
// gray level, value = output gray level.
using BrightnessTable = std::array<std::uint8_t, 256>;

// brightness 0..255, contrast 1..89 (the angle of the transfer line in degrees),
// gamma 0.1..10. The line of slope tan(contrast) through (127.5, brightness + 0.5)
// is clipped to 0..255, then the gamma curve is applied to the clipped value:
// gamma above 1 darkens the middle tones, below 1 brightens them. The steps are
// rounded to single precision as the table is defined; 1/255 is taken in extended
// precision (the double 1/255 loses a level at outputs 66, 74, 82, ...).
void BuildBrightnessTable(BrightnessTable& table, int brightness, int contrast, float gamma);

// Builds the table once, then writes dst[x][y] = table[src[x][y]] over the whole
// width x height image. src is not changed.
void ApplyBrightnessTable(const GrayImage& src, GrayImage& dst, int brightness, int contrast,
                          float gamma, int width, int height);

// dst[x][y] = table[src[x][y]] over the whole image, at the active vector level
// (VectorLevel.h): AVX-512 VBMI byte permutes, AVX2 byte shuffles, else a plain loop.
void MapThroughTable(const BrightnessTable& table, const GrayImage& src, GrayImage& dst, int width,
                     int height);

// Gamma of a scroll-bar position 1..100, in single precision: 0.1 at 1, 1 at 50
// (steps of 0.9/49 below), 1.18 at 51 and 10 at 100 (steps of 0.18 above).
float GammaFromPosition(int position);
