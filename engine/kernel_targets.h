// SPDX-License-Identifier: MIT
#pragma once

// The processors the engine's vectorised loops (the bevel's row kernels, the
// surface's row copies) are compiled for: any processor of the build's
// architecture, and x86-64 processors with AVX2.

#include <cstdint>
#include <type_traits>

// GCC's generic vectors give the AVX2 set its byte shuffles; that set is
// built by GCC for x86-64 only.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define TOLLAMERE_AVX2_KERNELS 1
#endif

// Always inlined, so that each set compiles a body for its own processor.
#define TOLLAMERE_KERNEL_BODY [[gnu::always_inline]] inline

// A kernel set is written once as DefineSet(Name, Attributes, ByteShuffles),
// which defines namespace Name holding the set's table; TOLLAMERE_KERNEL_SETS
// compiles it as `portable` for any processor and, where this build has it,
// as `avx2` for processors with AVX2 (ByteShuffles true: GCC's vector
// shuffles may be used).
// TOLLAMERE_KERNEL_CHOICE(Table) then names the KernelChoice of the table
// `Table` those namespaces hold.
#if defined(TOLLAMERE_AVX2_KERNELS)
#define TOLLAMERE_KERNEL_SETS(DefineSet)                                                                               \
    DefineSet(portable, , false)                                                                                       \
    DefineSet(avx2, [[gnu::target("avx2")]], true)
#define TOLLAMERE_AVX2_TABLE(Table) &avx2::Table
#else
#define TOLLAMERE_KERNEL_SETS(DefineSet) DefineSet(portable, , false)
#define TOLLAMERE_AVX2_TABLE(Table) nullptr
#endif
#define TOLLAMERE_KERNEL_CHOICE(Table)                                                                                 \
    ::tollamere::KernelChoice<std::remove_cvref_t<decltype(portable::Table)>, portable::Table, TOLLAMERE_AVX2_TABLE(Table)>

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

// The two compilations of one kernel table, and the choice between them.
// Avx2Built is nullptr when this build has no AVX2 set.
template <typename Table, const Table& Portable, const Table* Avx2Built>
struct KernelChoice {
    // The AVX2 table where this build has it and this processor runs it,
    // else nullptr.
    static const Table* Avx2() noexcept
    {
        if constexpr (Avx2Built != nullptr)
            return ProcessorRunsAvx2() ? Avx2Built : nullptr;
        return nullptr;
    }
    // The fastest table this processor runs; chosen once per process.
    static const Table& Fastest() noexcept
    {
        static const Table& fastest = Avx2() != nullptr ? *Avx2() : Portable;
        return fastest;
    }
};

} // namespace tollamere
