// tools/VectorLevel.h: the one switch every fast kernel asks for its vector width.
#pragma once

// Ordered: each level has everything the one below it has.
enum class VectorLevel {
    Plain,       // no intrinsics at all: what a processor other than x86-64 runs
    Baseline,    // SSE2, part of every x86-64 processor
    Avx2,
    Avx512Vbmi,  // AVX-512 F, BW and VBMI
};

inline constexpr VectorLevel kVectorLevels[] = {VectorLevel::Plain, VectorLevel::Baseline,
                                                VectorLevel::Avx2, VectorLevel::Avx512Vbmi};

// The widest level this processor runs, detected once.
VectorLevel ProcessorVectorLevel();

// The level kernels use now: the processor's, or less while a limit is set. A
// kernel asks once per call (a search, once per search), so a limit set while
// it runs takes effect at the next call.
VectorLevel ActiveVectorLevel();

// "Plain", "Baseline", "Avx2", "Avx512Vbmi".
const char* VectorLevelName(VectorLevel level);

// Lowers the active level for its lifetime, so tests, benchmarks and fuzz
// targets reach the narrower paths on a processor that has wider ones; the
// previous limit comes back on destruction. The limit is process-wide (every
// thread sees it): scopes nest, they must not overlap across threads.
class ScopedVectorLimit {
public:
    explicit ScopedVectorLimit(VectorLevel limit);
    ~ScopedVectorLimit();
    ScopedVectorLimit(const ScopedVectorLimit&) = delete;
    ScopedVectorLimit& operator=(const ScopedVectorLimit&) = delete;

private:
    int previous_;
};
