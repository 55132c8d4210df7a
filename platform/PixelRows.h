// platform/PixelRows.h: rows of packed 8-bit samples made into the picture's
// pixels and their gray values in one pass, while the row is in the cache.
#pragma once
#include <cstdint>

// For width pixels of 3 bytes each, R first (bgr false) or B first (bgr
// true): out[x] = 0xFF000000 | R << 16 | G << 8 | B and, when gray is not
// null, gray[x] = (R + G + B) / 3, remainder dropped (the picture's gray rule).
// The pixels may go straight to memory past the caches (out is written once and
// read much later): a thread calls PixelRowsWritten() after its last row and
// before another thread reads them.
void PackedRowToPixels(const std::uint8_t* in, bool bgr, std::uint32_t* out, std::uint8_t* gray,
                       int width);
void PixelRowsWritten();
