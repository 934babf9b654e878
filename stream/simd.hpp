// The one switch between the SSE2 paths of the kit's byte scanning and their
// plain twins: SSE2 where the compiler targets it (every x86-64 does), unless
// a build that tests the plain paths defines KIT_PLAIN_BYTES. Every SSE2 path
// sits beside a plain one that gives the same result. Also the byte searches
// that more than one part of the kit uses.
#pragma once

#include <bit>
#include <cstdint>

#if defined(__SSE2__) && !defined(KIT_PLAIN_BYTES)
#define KIT_SSE2 1
#include <emmintrin.h>
#else
#define KIT_SSE2 0
#endif

// AVX2 paths beside some SSE2 ones, for the hottest scans, taken at run time
// where the processor has AVX2 (with POPCNT and BMI1, which come with it):
// compiled for that processor by a target attribute (g++ and clang), the rest
// of the program staying plain x86-64. Not for Windows, where g++ does not
// align the stack for the 32-byte registers it may keep there. A build that
// tests the SSE2 paths on an AVX2 machine defines KIT_NO_AVX2.
#if KIT_SSE2 && defined(__GNUC__) && !defined(_WIN32) && !defined(KIT_NO_AVX2)
#define KIT_AVX2 1
#include <immintrin.h>
// Inside [[ ]]: compiles a function for processors with AVX2.
#define KIT_TARGET_AVX2 gnu::target("avx2,popcnt,bmi")
#else
#define KIT_AVX2 0
#endif

namespace kit {

#if KIT_AVX2
// Whether this processor (and its system) runs the AVX2 paths.
bool has_avx2();
#endif

#if KIT_SSE2
// Bit i set where byte i of the 16 at `p` equals the byte of `a` or of `b`
// (each a register of one byte repeated); bits 16 and up clear.
[[gnu::always_inline]] inline std::uint64_t match_mask16(const char* p, __m128i a, __m128i b) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i eq = _mm_or_si128(_mm_cmpeq_epi8(v, a), _mm_cmpeq_epi8(v, b));
    return std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(eq))};
}
#endif

// The last byte in [begin, end) that is C, or null. What is looked for is
// mostly near the end: with SSE2 the 16 bytes before it are looked at
// together, and so on backwards.
template <char C>
[[gnu::always_inline]] inline const char* find_last(const char* begin, const char* end) {
#if KIT_SSE2
    const __m128i c = _mm_set1_epi8(C);
    for (; end - begin >= 16; end -= 16) {
        const auto found = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(end - 16)), c)));
        if (found != 0) return end - 16 + (std::bit_width(found) - 1);
    }
#endif
    while (end != begin) {
        if (*--end == C) return end;
    }
    return nullptr;
}

}  // namespace kit
