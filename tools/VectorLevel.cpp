// tools/VectorLevel.cpp
#include "VectorLevel.h"

#include <algorithm>
#include <atomic>

namespace {

// Kernels on worker threads read it while a test may set it.
std::atomic<int> limit{static_cast<int>(VectorLevel::Avx512Vbmi)};

VectorLevel Detect()
{
#if defined(__x86_64__)
    __builtin_cpu_init();  // may run before the constructors that would otherwise do it
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vbmi"))
        return VectorLevel::Avx512Vbmi;
    if (__builtin_cpu_supports("avx2"))
        return VectorLevel::Avx2;
    return VectorLevel::Baseline;
#else
    return VectorLevel::Plain;
#endif
}

}  // namespace

VectorLevel ProcessorVectorLevel()
{
    static const VectorLevel level = Detect();
    return level;
}

VectorLevel ActiveVectorLevel()
{
    return static_cast<VectorLevel>(std::min(static_cast<int>(ProcessorVectorLevel()),
                                             limit.load(std::memory_order_relaxed)));
}

const char* VectorLevelName(VectorLevel level)
{
    switch (level) {
    case VectorLevel::Plain: return "Plain";
    case VectorLevel::Baseline: return "Baseline";
    case VectorLevel::Avx2: return "Avx2";
    case VectorLevel::Avx512Vbmi: return "Avx512Vbmi";
    }
    return "?";
}

ScopedVectorLimit::ScopedVectorLimit(VectorLevel level)
    : previous_(limit.exchange(static_cast<int>(level)))
{
}

ScopedVectorLimit::~ScopedVectorLimit()
{
    limit.store(previous_);
}
