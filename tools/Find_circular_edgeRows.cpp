// tools/Find_circular_edgeRows.cpp: the circles of a row of triples as packed
// keys, in double precision where that is exact, a whole row at a time so
// that the divisions run side by side in vector registers.
#include "Find_circular_edgeCount.h"

#include <bit>
#include <cmath>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace circular_edge {
namespace {

using u64 = std::uint64_t;

// A key below 2^52 added to 2^52 lands in the low mantissa bits: reading them
// converts without a double-to-integer instruction (AVX2 has none).
constexpr double kMantissa = 0x1p52;
constexpr u64 kMantissaMask = (u64{1} << 52) - 1;
// The fields' offsets (2^16 each) and kMantissa in one sum.
constexpr double kPackOffset = 0x1p16 + 0x1p33 + kMantissa;

// Every value here is an integer below 2^52 in magnitude (see kDoubleHit), so
// each sum, product and truncated quotient is the exact integer one. A circle
// packs when its centre's fields do; then its radius does too (the points lie
// within 2^12 · √2 of the search centre, so the radius is below 2^16 · √2 +
// 2^13 with room for the truncations), and q = D² + E² − 4F is below 2^36:
// exact, so its rounding to single precision is that of the integer. Where the
// centre leaves the fields, q may be inexact and the triple goes to
// TripleCircle. The comparisons are false for the NaN or infinity a zero
// determinant gives.
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
        // Halvings truncate toward zero; the fields are offset by 2^16.
        const double a = std::trunc(D * -0.5), b = std::trunc(E * -0.5);
        const bool centre = (a >= -0x1p16) & (a < 0x1p16) & (b >= -0x1p16) & (b < 0x1p16);
        const float q = static_cast<float>((D * D + E * E) - 4.0 * F);
        const bool positive = q > 0.0f;
        // NaN when q < 0 (no errno here): such a triple gives no circle anyway.
        const float radius = std::trunc(std::sqrt(q) * 0.5f);
        const bool packs = centre & positive;
        const bool none = (det == 0.0) | (centre & !positive);
        const u64 packed = std::bit_cast<u64>(b * 0x1p17 + a + static_cast<double>(radius) * 0x1p34 +
                                              kPackOffset) &
                           kMantissaMask;
        // Selected by masks: a conditional here becomes a branch the loop
        // cannot be vectorised with. (Bitwise & and | keep it free of them.)
        const u64 packsMask = u64{0} - packs, noneMask = u64{0} - none;
        out[k] = (((packed & packsMask) | (kExactOnly & ~packsMask)) & ~noneMask) |
                 (kNoCircle & noneMask);
    }
}

#if defined(__x86_64__)
// The rule above written out for AVX-512, sixteen triples a step: the single
// precision square roots of both halves in one register, the masks of the
// comparisons selecting the key. Where fewer than sixteen remain, the loads and
// the stores are masked.
// GCC 12's own headers leave the unused source of these intrinsics undefined
// and then warn that it may be uninitialised (fixed in later releases); the
// warning is silenced for this kernel alone.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
__attribute__((target("avx512f"), always_inline)) inline __m512d Trunc(__m512d x)
{
    return _mm512_roundscale_pd(x, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
}
__attribute__((target("avx512f"), always_inline)) inline __m512 Trunc(__m512 x)
{
    return _mm512_roundscale_ps(x, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
}

struct RowAvx512 {
    __m512d Cij, Rij, Xij, ri, rj;
    const double *Ci, *Cj, *Ri, *Rj, *Xi, *Xj, *r;  // at k = j + 1
    u64* out;

    // Eight triples up to q / 4; the centre fields and their masks.
    struct Half {
        __m512d a, b;
        __m256 q;  // q / 4, in single precision
        __mmask8 centre, zero;
    };

    __attribute__((target("avx512f"), always_inline)) inline Half Circles(std::size_t e,
                                                                         __mmask8 lanes) const
    {
        const __m512d cj = _mm512_maskz_loadu_pd(lanes, Cj + e);
        const __m512d ci = _mm512_maskz_loadu_pd(lanes, Ci + e);
        const __m512d det = _mm512_sub_pd(_mm512_add_pd(Cij, cj), ci);
        const __m512d dn = _mm512_sub_pd(_mm512_add_pd(Rij, _mm512_maskz_loadu_pd(lanes, Rj + e)),
                                         _mm512_maskz_loadu_pd(lanes, Ri + e));
        const __m512d en = _mm512_sub_pd(_mm512_add_pd(Xij, _mm512_maskz_loadu_pd(lanes, Xj + e)),
                                         _mm512_maskz_loadu_pd(lanes, Xi + e));
        // Each product is exact, so is each fused sum: every value is an
        // integer below 2^52.
        const __m512d fn = _mm512_fmadd_pd(_mm512_maskz_loadu_pd(lanes, r + e), Cij,
                                           _mm512_fmsub_pd(ri, cj, _mm512_mul_pd(rj, ci)));
        const __m512d D = Trunc(_mm512_div_pd(dn, det));
        const __m512d E = Trunc(_mm512_div_pd(en, det));
        const __m512d F = Trunc(_mm512_div_pd(fn, det));
        const __m512d half = _mm512_set1_pd(-0.5), low = _mm512_set1_pd(-0x1p16),
                      high = _mm512_set1_pd(0x1p16);
        const __m512d hd = _mm512_mul_pd(D, half), he = _mm512_mul_pd(E, half);
        // q / 4 = (D/2)² + (E/2)² − F, exact where the centre packs; its
        // rounding to single precision is that of q, divided by 4, and the
        // radius trunc(√q · 0.5) is trunc(√(q / 4)).
        const __m512d quarter = _mm512_fmadd_pd(hd, hd, _mm512_fmsub_pd(he, he, F));
        Half h;
        h.a = Trunc(hd);
        h.b = Trunc(he);
        __mmask8 in = _mm512_cmp_pd_mask(h.a, low, _CMP_GE_OQ);
        in = _mm512_mask_cmp_pd_mask(in, h.a, high, _CMP_LT_OQ);
        in = _mm512_mask_cmp_pd_mask(in, h.b, low, _CMP_GE_OQ);
        h.centre = _mm512_mask_cmp_pd_mask(in, h.b, high, _CMP_LT_OQ);
        h.zero = _mm512_cmp_pd_mask(det, _mm512_setzero_pd(), _CMP_EQ_OQ);
        h.q = _mm512_cvtpd_ps(quarter);
        return h;
    }

    __attribute__((target("avx512f"), always_inline)) inline __m512i Keys(const Half& h,
                                                                         __m512d radius,
                                                                         __mmask8 positive) const
    {
        const __m512d packed = _mm512_add_pd(
            _mm512_fmadd_pd(radius, _mm512_set1_pd(0x1p34),
                            _mm512_fmadd_pd(h.b, _mm512_set1_pd(0x1p17), h.a)),
            _mm512_set1_pd(kPackOffset));
        const __mmask8 packs = h.centre & positive;
        const auto none = static_cast<__mmask8>(h.zero | (h.centre & ~positive));
        const __m512i other =
            _mm512_mask_blend_epi64(none, _mm512_set1_epi64(static_cast<long long>(kExactOnly)),
                                    _mm512_set1_epi64(static_cast<long long>(kNoCircle)));
        // Where it packs, the key is the packed sum's mantissa (0x88: the
        // bits set in both of the last two operands).
        return _mm512_mask_ternarylogic_epi64(
            other, packs, _mm512_castpd_si512(packed),
            _mm512_set1_epi64(static_cast<long long>(kMantissaMask)), 0x88);
    }

    __attribute__((target("avx512f"), always_inline)) inline void Step(std::size_t e,
                                                                      __mmask8 lowLanes,
                                                                      __mmask8 highLanes) const
    {
        const Half lo = Circles(e, lowLanes), hi = Circles(e + 8, highLanes);
        const __m512 q = _mm512_castpd_ps(_mm512_insertf64x4(
            _mm512_castpd256_pd512(_mm256_castps_pd(lo.q)), _mm256_castps_pd(hi.q), 1));
        const __mmask16 positive = _mm512_cmp_ps_mask(q, _mm512_setzero_ps(), _CMP_GT_OQ);
        const __m512 radius = Trunc(_mm512_sqrt_ps(q));
        const __m512d radiusLo = _mm512_cvtps_pd(_mm512_castps512_ps256(radius));
        const __m512d radiusHi = _mm512_cvtps_pd(
            _mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(radius), 1)));
        _mm512_mask_storeu_epi64(out + e, lowLanes, Keys(lo, radiusLo, static_cast<__mmask8>(positive)));
        _mm512_mask_storeu_epi64(out + e + 8, highLanes,
                                 Keys(hi, radiusHi, static_cast<__mmask8>(positive >> 8)));
    }
};

__attribute__((target("avx512f"))) void RowKeysAvx512(const PairTerms& t, std::size_t i,
                                                      std::size_t j, u64* keys)
{
    const std::size_t m = t.m, ij = i * m + j, k = j + 1, n = m - k;
    const RowAvx512 row{_mm512_set1_pd(t.Cd[ij]), _mm512_set1_pd(t.Rd[ij]), _mm512_set1_pd(t.Xd[ij]),
                        _mm512_set1_pd(t.r[i]),   _mm512_set1_pd(t.r[j]),   &t.Cd[i * m + k],
                        &t.Cd[j * m + k],         &t.Rd[i * m + k],         &t.Rd[j * m + k],
                        &t.Xd[i * m + k],         &t.Xd[j * m + k],         &t.r[k],
                        keys};
    std::size_t e = 0;
    for (; e + 16 <= n; e += 16)
        row.Step(e, 0xFF, 0xFF);
    if (e < n) {
        const std::size_t rest = n - e;
        const auto lanes = [](std::size_t count) {
            return static_cast<__mmask8>(count >= 8 ? 0xFF : (1u << count) - 1);
        };
        row.Step(e, lanes(rest), lanes(rest > 8 ? rest - 8 : 0));
    }
}

#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif

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
