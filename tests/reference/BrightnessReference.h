// tests/reference/BrightnessReference.h: the brightness table and its mapping
// written out step by step, as the reference the product is compared against.
#pragma once
#include "Image.h"

#include <cstdint>

void ReferenceBuildBrightnessTable(std::uint8_t table[256], int brightness, int contrast,
                                   float gamma);
void ReferenceApplyBrightnessTable(const GrayImage& src, GrayImage& dst, int brightness,
                                   int contrast, float gamma, int width, int height);
