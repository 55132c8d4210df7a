// tools/Find_circular_edgeRows.cpp: the circles of a row of triples as packed
// keys, in double precision where that is exact, a whole row at a time so
// that the divisions run side by side in vector registers.
#include "Find_circular_edgeCount.h"

#include <bit>
#include <cmath>

namespace circular_edge {
namespace {

using u64 = std::uint64_t;

// A key below 2^52 added to 2^52 lands in the low mantissa bits: reading them
// converts without a double-to-integer instruction (AVX2 has none).
constexpr double kMantissa = 0x1p52;
constexpr u64 kMantissaMask = (u64{1} << 52) - 1;

// Every value here is an integer below 2^52 in magnitude (see kDoubleHit), so
// each sum, product and truncated quotient is the exact integer one; only q
// may leave that range, and such triples go to TripleCircle. The comparisons
// are false for NaN, which a zero determinant gives.
[[gnu::always_inline]] inline void RowKeysOf(const PairTerms& t, std::size_t i, std::size_t j,
                                             u64* keys)
{
    const std::size_t m = t.m, ij = i * m + j;
    const double Cij = t.Cd[ij], Rij = t.Rd[ij], Xij = t.Xd[ij];
    const double ri = t.r[i], rj = t.r[j];
    const double *Ci = &t.Cd[i * m], *Cj = &t.Cd[j * m];
    const double *Ri = &t.Rd[i * m], *Rj = &t.Rd[j * m];
    const double *Xi = &t.Xd[i * m], *Xj = &t.Xd[j * m];
    const double* r = t.r.data();
    u64* out = keys - (j + 1);
    for (std::size_t k = j + 1; k < m; ++k) {
        const double det = (Cij + Cj[k]) - Ci[k];
        const double D = std::trunc(((Rij + Rj[k]) - Ri[k]) / det);
        const double E = std::trunc(((Xij + Xj[k]) - Xi[k]) / det);
        const double F = std::trunc(((ri * Cj[k] - rj * Ci[k]) + r[k] * Cij) / det);
        // |D|, |E| < 2^25 and |F| < 2^49 keep q = D² + E² − 4F below 2^52: exact,
        // so its rounding to single precision is that of the integer. (Bitwise
        // & and | keep the loop free of branches.)
        const bool exact =
            (std::fabs(D) < 0x1p25) & (std::fabs(E) < 0x1p25) & (std::fabs(F) < 0x1p49);
        const float q = static_cast<float>((D * D + E * E) - 4.0 * F);
        const bool positive = q > 0.0f;
        // NaN when q < 0 (no errno here): such a triple gives no circle anyway.
        const float radius = std::trunc(std::sqrt(q) * 0.5f);
        // Halvings truncate toward zero; the fields are offset by 2^16.
        const double a = std::trunc(D * -0.5) + 0x1p16, b = std::trunc(E * -0.5) + 0x1p16;
        const bool packs = exact & (a >= 0.0) & (a < 0x1p17) & (b >= 0.0) & (b < 0x1p17) &
                           (radius < 0x1p17f);
        const bool none = (det == 0.0) | (exact & !positive);
        const u64 packed =
            std::bit_cast<u64>(a + b * 0x1p17 + static_cast<double>(radius) * 0x1p34 + kMantissa) &
            kMantissaMask;
        // Selected by masks: a conditional here becomes a branch the loop
        // cannot be vectorised with.
        const u64 packsMask = u64{0} - packs, noneMask = u64{0} - none;
        out[k] = (((packed & packsMask) | (kExactOnly & ~packsMask)) & ~noneMask) |
                 (kNoCircle & noneMask);
    }
}

#if defined(__x86_64__)
__attribute__((target("avx512f"))) void RowKeysAvx512(const PairTerms& t, std::size_t i,
                                                      std::size_t j, u64* keys)
{
    RowKeysOf(t, i, j, keys);
}

__attribute__((target("avx2"))) void RowKeysAvx2(const PairTerms& t, std::size_t i, std::size_t j,
                                                 u64* keys)
{
    RowKeysOf(t, i, j, keys);
}
#endif

void RowKeysPortable(const PairTerms& t, std::size_t i, std::size_t j, u64* keys)
{
    RowKeysOf(t, i, j, keys);
}

}  // namespace

void RowKeys(const PairTerms& t, std::size_t i, std::size_t j, std::uint64_t* keys)
{
#if defined(__x86_64__)
    if (t.level >= VectorLevel::Avx512Vbmi)
        return RowKeysAvx512(t, i, j, keys);
    if (t.level >= VectorLevel::Avx2)
        return RowKeysAvx2(t, i, j, keys);
#endif
    RowKeysPortable(t, i, j, keys);
}

bool TripleCircle(const Centre& centre, const std::vector<RelativePoint>& p, const PairTerms& t,
                  std::size_t i, std::size_t j, std::size_t k, Circle& c)
{
    // The pair terms as MakePairTerms makes them; worked out here where only
    // their double precision versions are kept.
    const std::size_t m = t.m;
    struct Terms {
        i64 C, R, X;
    };
    const auto of = [&](std::size_t a, std::size_t b) -> Terms {
        if (!t.C.empty())
            return {t.C[a * m + b], t.R[a * m + b], t.X[a * m + b]};
        return {p[a].x * p[b].y - p[b].x * p[a].y, p[a].r * p[b].y - p[b].r * p[a].y,
                p[a].x * p[b].r - p[b].x * p[a].r};
    };
    const Terms ij = of(i, j), ik = of(i, k), jk = of(j, k);
    const i64 det = ij.C + jk.C - ik.C;
    if (det == 0)
        return false;  // collinear or repeated points
    // Truncation toward zero.
    const i64 D = (ij.R + jk.R - ik.R) / det;
    const i64 E = (ij.X + jk.X - ik.X) / det;
    const i64 F = (p[i].r * jk.C - p[j].r * ik.C + p[k].r * ij.C) / det;
    return CircleOf(centre, D, E, F, c);
}

std::size_t RowCircles(const Centre& centre, const std::vector<RelativePoint>& p,
                       const PairTerms& t, std::size_t i, std::size_t j, Circle* out,
                       std::uint32_t* ks, std::uint64_t* keys)
{
    const std::size_t m = t.m;
    std::size_t n = 0;
    if (t.Cd.empty()) {
        for (std::size_t k = j + 1; k < m; ++k) {
            ks[n] = static_cast<std::uint32_t>(k);
            n += TripleCircle(centre, p, t, i, j, k, out[n]);
        }
        return n;
    }
    RowKeys(t, i, j, keys);
    for (std::size_t k = j + 1; k < m; ++k) {
        const u64 key = keys[k - j - 1];
        ks[n] = static_cast<std::uint32_t>(k);
        if (key < kNoCircle) {
            const Circle c = UnpackKey(key);
            out[n++] = {centre.x + c.x, centre.y + c.y, c.radius};
        } else if (key == kExactOnly) {
            n += TripleCircle(centre, p, t, i, j, k, out[n]);
        }
    }
    return n;
}

}  // namespace circular_edge
