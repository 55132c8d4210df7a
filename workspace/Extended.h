// workspace/Extended.h: the x87 extended precision some results are defined in.
#pragma once
#include <cfloat>
#include <cmath>

// Several results (the spokes of the circular gauge, the brightness table, the
// corners of a turned frame) are defined by arithmetic in x86-64's long double:
// the x87 extended format, with a 64-bit significand. Wrap every step of such
// arithmetic in Ext. Where long double is that format, Ext does nothing; where it
// is wider (arm64's is IEEE quadruple, 113 bits), Ext rounds each exact-or-nearer
// result to 64 bits, to nearest, ties to even, so the results are the same bits.
// A step whose exact result lies on such a tie only after the wider rounding
// would round twice; the operands here (small integers, angles, 1/180, 1/255)
// never come near one.
static_assert(LDBL_MANT_DIG >= 64, "long double must hold the x87 extended format");

#if LDBL_MANT_DIG == 64
inline long double Ext(long double v) { return v; }
#else
inline long double Ext(long double v)
{
    if (v == 0 || !std::isfinite(v))
        return v;
    int exponent = 0;
    const long double m = std::frexp(v, &exponent);  // 0.5 <= |m| < 1
    return std::ldexp(std::nearbyint(std::ldexp(m, 64)), exponent - 64);
}
#endif
