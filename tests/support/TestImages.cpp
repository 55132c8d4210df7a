// tests/support/TestImages.cpp
#include "TestImages.h"

#include <sstream>

GrayImage FromRows(const std::vector<std::vector<int>>& rows)
{
    const int height = static_cast<int>(rows.size());
    const int width = height > 0 ? static_cast<int>(rows[0].size()) : 0;
    GrayImage image = NewGrayImage(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image[x][y] = static_cast<std::uint8_t>(rows[static_cast<std::size_t>(y)]
                                                        [static_cast<std::size_t>(x)]);
    return image;
}

std::vector<std::vector<int>> ToRows(const GrayImage& image, int width, int height)
{
    std::vector<std::vector<int>> rows(static_cast<std::size_t>(height),
                                       std::vector<int>(static_cast<std::size_t>(width)));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = image[x][y];
    return rows;
}

GrayImage Filled(int width, int height, int value)
{
    GrayImage image = NewGrayImage(width, height);
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y)
            image[x][y] = static_cast<std::uint8_t>(value);
    return image;
}

GrayImage RandomImage(std::mt19937& rng, int width, int height)
{
    GrayImage image = NewGrayImage(width, height);
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y)
            image[x][y] = static_cast<std::uint8_t>(rng() & 0xFF);
    return image;
}

GrayImage Copy(const GrayImage& image, int width, int height)
{
    GrayImage copy = NewGrayImage(width, height);
    CopyGrayImage(image, copy, width, height);
    return copy;
}

bool SameImage(const GrayImage& a, const GrayImage& b, int width, int height)
{
    return FirstDifference(a, b, width, height).empty();
}

std::string FirstDifference(const GrayImage& a, const GrayImage& b, int width, int height)
{
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y)
            if (a[x][y] != b[x][y]) {
                std::ostringstream out;
                out << "(" << x << ", " << y << "): " << int(a[x][y]) << " vs " << int(b[x][y]);
                return out.str();
            }
    return {};
}
