// tests/support/TestImages.h: small images a reader can check by hand.
#pragma once
#include "Image.h"

#include <random>
#include <string>
#include <vector>

// Rows as they appear on screen: rows[y][x] becomes image[x][y].
GrayImage FromRows(const std::vector<std::vector<int>>& rows);
// The image as screen rows again.
std::vector<std::vector<int>> ToRows(const GrayImage& image, int width, int height);
GrayImage Filled(int width, int height, int value);
GrayImage RandomImage(std::mt19937& rng, int width, int height);
GrayImage Copy(const GrayImage& image, int width, int height);
bool SameImage(const GrayImage& a, const GrayImage& b, int width, int height);
// "(x, y): a vs b" of the first difference, or "" when equal.
std::string FirstDifference(const GrayImage& a, const GrayImage& b, int width, int height);
