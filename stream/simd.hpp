// The one switch between the SSE2 paths of the kit's byte scanning and their
// plain twins: SSE2 where the compiler targets it (every x86-64 does), unless
// a build that tests the plain paths defines KIT_PLAIN_BYTES. Every SSE2 path
// sits beside a plain one that gives the same result. Also the byte searches
// and copies that more than one part of the kit uses.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

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

// `x` with every byte that is `From` turned into `To`, the bytes compared by
// arithmetic that carries from no byte into the next.
template <char From, char To, typename Word>
[[gnu::always_inline]] inline Word replaced_in_word(Word x) {
    constexpr Word kOnes = static_cast<Word>(~Word{0} / 0xFF);
    constexpr Word kLow7 = kOnes * 0x7F;
    const Word t = x ^ kOnes * static_cast<unsigned char>(From);  // the bytes that are From as 0
    const Word hit = static_cast<Word>(~(((t & kLow7) + kLow7) | t) & kOnes * 0x80);  // their high bits
    return x ^ static_cast<Word>((hit >> 7) * static_cast<unsigned char>(From ^ To));
}

// Copies src[0, n) to dst[0, n) with every `From` byte turned into `To`.
// Runs of 16 bytes and more go 16 at a time with SSE2; shorter ones (and,
// without SSE2, all) 8 or 4 at a time in a word, without a loop over bytes.
template <char From, char To>
[[gnu::always_inline]] inline void copy_replacing(char* dst, const char* src, std::size_t n) {
    std::size_t i = 0;
#if KIT_SSE2
    const auto piece = [dst, src](std::size_t at) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + at));
        const __m128i hit = _mm_cmpeq_epi8(x, _mm_set1_epi8(From));
        const __m128i y = _mm_xor_si128(x, _mm_and_si128(hit, _mm_set1_epi8(static_cast<char>(From ^ To))));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + at), y);
    };
    if (n >= 16) {
        // A last piece that would run past the end overlaps the one before.
        for (; i + 16 <= n; i += 16) piece(i);
        if (i != n) piece(n - 16);
        return;
    }
#endif
    // A last word that would run past the end overlaps the one before.
    const auto word = [dst, src]<typename Word>(Word, std::size_t at) {
        Word x;
        std::memcpy(&x, src + at, sizeof x);
        x = replaced_in_word<From, To>(x);
        std::memcpy(dst + at, &x, sizeof x);
    };
    if (n >= 8) {
        for (; i + 8 <= n; i += 8) word(std::uint64_t{}, i);
        if (i != n) word(std::uint64_t{}, n - 8);
    } else if (n >= 4) {
        word(std::uint32_t{}, 0);
        word(std::uint32_t{}, n - 4);
    } else {
        for (; i < n; ++i) dst[i] = src[i] == From ? To : src[i];
    }
}

// Copies src[0, n) to dst[0, n), which do not overlap, without a call for
// short runs (a field, a line, a record): copy_replacing with a byte turned
// into itself, which compilers drop.
[[gnu::always_inline]] inline void copy(char* dst, const char* src, std::size_t n) {
    copy_replacing<'\0', '\0'>(dst, src, n);
}

}  // namespace kit
