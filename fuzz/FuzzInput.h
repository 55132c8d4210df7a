// fuzz/FuzzInput.h: the fuzzer's bytes as pictures and arguments.
//
// Arguments are drawn from the end of the input, picture contents from the
// front, so a mutation of the pixels leaves the arguments alone and the other
// way round.
#pragma once
#include "Image.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

// The tools write diagnostic lines to standard output; the fuzzer's own report
// goes to standard error.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return std::freopen("/dev/null", "w", stdout) != nullptr ? 0 : 1;
}

// Ends a run with a report the fuzzer keeps as a crash: a property of the
// result failed.
#define FUZZ_CHECK(condition)                                                            \
    do {                                                                                 \
        if (!(condition)) {                                                              \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                \
        }                                                                                \
    } while (false)

// Any int, with the values that break arithmetic (the ends of the range, zero,
// the picture's own edges) far more likely than a uniform draw would make them.
inline int AnyInt(FuzzedDataProvider& in, int near)
{
    static constexpr int kEdges[] = {INT_MIN,      INT_MIN + 1, INT_MIN / 2, -65536, -256, -2,
                                     -1,           0,           1,           2,      255,  256,
                                     65535,        INT_MAX / 2, INT_MAX - 1, INT_MAX};
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return in.ConsumeIntegralInRange(-16, std::max(near, 0) + 16);
    case 1:
        return kEdges[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kEdges) - 1)];
    case 2:
        return near + in.ConsumeIntegralInRange(-3, 3) * (in.ConsumeBool() ? 1 : near);
    default:
        return in.ConsumeIntegral<int>();
    }
}

// Any float: whole numbers near the usual range, the ends of the range, the
// infinities and not-a-number, or any bit pattern.
inline float AnyFloat(FuzzedDataProvider& in, int usual)
{
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return static_cast<float>(in.ConsumeIntegralInRange(-usual, usual));
    case 1: {
        static constexpr float kEdges[] = {std::numeric_limits<float>::quiet_NaN(),
                                           std::numeric_limits<float>::infinity(),
                                           -std::numeric_limits<float>::infinity(),
                                           std::numeric_limits<float>::max(),
                                           -std::numeric_limits<float>::max(),
                                           std::numeric_limits<float>::denorm_min(),
                                           -0.0f,
                                           2147483648.0f,
                                           -2147483904.0f,
                                           1e30f};
        return kEdges[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kEdges) - 1)];
    }
    case 2:
        return in.ConsumeFloatingPointInRange(static_cast<float>(-usual), static_cast<float>(usual));
    default: {
        const auto bits = in.ConsumeIntegral<std::uint32_t>();
        float f;
        static_assert(sizeof f == sizeof bits);
        __builtin_memcpy(&f, &bits, sizeof f);
        return f;
    }
    }
}

// A picture of 0..maxSide x 0..maxSide, or "none" of 0 x 0 as the workspace is
// before the first load. Contents: the front bytes pixel by pixel, or one byte
// per square block (flat areas, edges and objects).
struct FuzzPicture {
    GrayImage image;
    int width = 0, height = 0;
    int block = 1;  // side of the squares one byte fills
};

inline FuzzPicture TakePicture(FuzzedDataProvider& in, int maxSide, int minSide = 0)
{
    FuzzPicture p;
    p.width = in.ConsumeIntegralInRange(minSide, maxSide);
    p.height = in.ConsumeIntegralInRange(minSide, maxSide);
    const bool none = in.ConsumeIntegralInRange(0, 15) == 0;
    p.block = in.ConsumeBool() ? 1 : in.ConsumeIntegralInRange(2, 64);
    if (none && minSide == 0) {
        p.width = p.height = 0;
        return p;
    }
    p.image = NewGrayImage(p.width, p.height);
    FUZZ_CHECK(p.image);
    return p;
}

// Fills the picture from the bytes left in front; called after every argument
// has been drawn.
inline void FillPicture(FuzzedDataProvider& in, FuzzPicture& p)
{
    const int block = p.block;
    if (!p.image || p.width == 0 || p.height == 0)
        return;
    const std::vector<std::uint8_t> bytes = in.ConsumeRemainingBytes<std::uint8_t>();
    const int bw = (p.width + block - 1) / block;
    for (int x = 0; x < p.width; ++x)
        for (int y = 0; y < p.height; ++y) {
            const std::size_t k = static_cast<std::size_t>(y / block) * static_cast<std::size_t>(bw) +
                                  static_cast<std::size_t>(x / block);
            p.image[x][y] = bytes.empty() ? static_cast<std::uint8_t>(x * 7 + y * 13)
                                          : bytes[k % bytes.size()];
        }
}

inline GrayImage CopyOf(const FuzzPicture& p)
{
    GrayImage copy = NewGrayImage(p.width, p.height);
    FUZZ_CHECK(copy || !p.image);
    if (p.image)
        CopyGrayImage(p.image, copy, p.width, p.height);
    return p.image ? std::move(copy) : GrayImage();
}

inline bool Same(const GrayImage& a, const GrayImage& b, int width, int height)
{
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y)
            if (a[x][y] != b[x][y])
                return false;
    return true;
}
