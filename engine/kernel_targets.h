// SPDX-License-Identifier: MIT
#pragma once

// The processors the engine's vectorised loops (the bevel's row kernels, the
// surface's row copies) are compiled for: any processor of the build's
// architecture, and x86-64 processors with AVX2.

#include <cstdint>

// GCC's generic vectors give the AVX2 set its byte shuffles; that set is
// built by GCC for x86-64 only.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define TOLLAMERE_AVX2_KERNELS 1
#endif

// Always inlined, so that each set compiles a body for its own processor.
#define TOLLAMERE_KERNEL_BODY [[gnu::always_inline]] inline

namespace tollamere {

#if defined(TOLLAMERE_AVX2_KERNELS)
using Vector16 = std::uint8_t __attribute__((vector_size(16)));
#endif

// Whether this build holds the AVX2 set and this processor can run it.
inline bool ProcessorRunsAvx2() noexcept
{
#if defined(TOLLAMERE_AVX2_KERNELS)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

} // namespace tollamere
