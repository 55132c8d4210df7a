// python/src/Arrays.cpp
#include "Arrays.h"

#include <string>

namespace py = pybind11;

SizedImage GrayFromArray(const py::array& array)
{
    if (array.ndim() != 2 || !array.dtype().is(py::dtype::of<std::uint8_t>()))
        throw py::type_error("an image is a 2-D numpy array of uint8, not " +
                             std::string(py::str(array.dtype())) + " with " +
                             std::to_string(array.ndim()) + " dimensions");
    SizedImage image;
    image.height = static_cast<int>(array.shape(0));
    image.width = static_cast<int>(array.shape(1));
    if (array.shape(0) != image.height || array.shape(1) != image.width)
        throw py::value_error("an image has at most 2147483647 rows and columns");
    image.pixels = NewGrayImage(image.width, image.height);
    if (!image.pixels)
        throw std::bad_alloc();
    const auto* data = static_cast<const std::uint8_t*>(array.data());
    const py::ssize_t rowStride = array.strides(0), columnStride = array.strides(1);
    const py::gil_scoped_release release;
    for (int x = 0; x < image.width; ++x) {
        std::uint8_t* column = image.pixels[x];
        const std::uint8_t* in = data + x * columnStride;
        for (int y = 0; y < image.height; ++y)
            column[y] = in[y * rowStride];
    }
    return image;
}

py::array_t<std::uint8_t> ArrayFromGray(const GrayImage& image, int width, int height)
{
    py::array_t<std::uint8_t> array({height, width});
    std::uint8_t* out = array.mutable_data();
    const py::gil_scoped_release release;
    for (int x = 0; x < width; ++x) {
        const std::uint8_t* column = image[x];
        for (int y = 0; y < height; ++y)
            out[static_cast<std::size_t>(y) * width + x] = column[y];
    }
    return array;
}
