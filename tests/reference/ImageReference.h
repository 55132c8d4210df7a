// tests/reference/ImageReference.h: the drawing helpers written out literally,
// step by step, as the reference the fast versions are compared against.
#pragma once
#include "Image.h"

void ReferenceDrawLine(GrayImage& image, std::uint8_t value, int x1, int y1, int x2, int y2,
                       int width, int height);
void ReferenceDrawCircle(GrayImage& image, int radius, std::uint8_t value, int cx, int cy,
                         int width, int height);
