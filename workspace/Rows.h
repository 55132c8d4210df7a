// workspace/Rows.h: turning column-first images into screen rows and back.
#pragma once
#include "Image.h"

#include <cstddef>

// Writes image rows 0 .. height − 1 as screen rows: rows[y · stride + x] = image[x][y].
void ColumnsToRows(const GrayImage& image, int width, int height, std::uint8_t* rows,
                   std::ptrdiff_t stride);

// Reads rowCount screen rows of width bytes (rows[r · stride + x]) into image rows
// firstRow .. firstRow + rowCount − 1: image[x][firstRow + r] = rows[r · stride + x].
void RowsToColumns(const std::uint8_t* rows, std::ptrdiff_t stride, int width, int rowCount,
                   GrayImage& image, int firstRow);
