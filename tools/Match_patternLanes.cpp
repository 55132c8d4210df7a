// tools/Match_patternLanes.cpp
#include "Match_patternLanes.h"

#include <atomic>

namespace match_pattern {
namespace {

// Searches on other threads read it while a test or benchmark may set it.
std::atomic<bool> wideAllowed{true};

}  // namespace

bool Wide()
{
    static const bool present = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return present && wideAllowed;
}

}  // namespace match_pattern

void AllowWideVectors(bool allowed) { match_pattern::wideAllowed = allowed; }
