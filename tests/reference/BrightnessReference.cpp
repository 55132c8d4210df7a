// tests/reference/BrightnessReference.cpp
#include "BrightnessReference.h"
#include "Extended.h"

#include <cmath>

void ReferenceBuildBrightnessTable(std::uint8_t table[256], int brightness, int contrast,
                                   float gamma)
{
    const long double oneOver255 = Ext(1.0L / 255);  // extended precision
    float offset = Ext((brightness - 127) * oneOver255);
    double slope = std::tan(contrast * 3.141592654 / 180);
    for (int i = 0; i <= 255; i++) {
        float u = Ext(i * oneOver255);
        float c = (slope * (u - 0.5) + 0.5 + offset) * 255;
        if (!(c >= 0)) {
            table[i] = 0;
        } else if (c > 255) {
            table[i] = 255;
        } else {
            double base = Ext(c * oneOver255);
            double g = gamma;
            table[i] = static_cast<std::uint8_t>(static_cast<int>(std::pow(base, g) * 255));
        }
    }
}

void ReferenceApplyBrightnessTable(const GrayImage& src, GrayImage& dst, int brightness,
                                   int contrast, float gamma, int width, int height)
{
    std::uint8_t table[256];
    ReferenceBuildBrightnessTable(table, brightness, contrast, gamma);
    for (int x = 0; x < width; x++)
        for (int y = 0; y < height; y++)
            dst[x][y] = table[src[x][y]];
}
