// python/src/Arrays.h: numpy arrays to and from the column-first gray images.
#pragma once
#include "CommandTypes.h"

#include <pybind11/numpy.h>

// A 2-D uint8 array of any strides (C or Fortran order, a view) as a
// width x height image, in one transposing copy made with the GIL released.
// Raises TypeError for any other array; MemoryError when memory runs out.
SizedImage GrayFromArray(const pybind11::array& array);

// The image as a new C-ordered (height, width) uint8 array.
pybind11::array_t<std::uint8_t> ArrayFromGray(const GrayImage& image, int width, int height);
