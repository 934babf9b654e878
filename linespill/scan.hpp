// Looking at a block of 64 bytes of a text archive at once: where its LFs are
// and where the bytes are that may anchor a marker. One pass over the text
// finds both, so that lines are counted from the masks and only the few
// lines that may hold a marker are looked at more closely.
#pragma once

#include <cstddef>
#include <cstdint>

// The SSE2 path, unless the plain one is asked for (a build that tests it
// defines KIT_PLAIN_BYTES).
#if defined(__SSE2__) && !defined(KIT_PLAIN_BYTES)
#define LINESPILL_SSE2 1
#include <emmintrin.h>
#else
#define LINESPILL_SSE2 0
#endif

namespace linespill {

inline constexpr std::size_t kBlock = 64;

// Bit i of each mask stands for byte i of the block.
struct BlockMasks {
    std::uint64_t lf;       // the byte is LF
    std::uint64_t anchors;  // the byte is A or B
};

// The masks of the kBlock bytes at `p`.
template <char A, char B>
[[gnu::always_inline]] inline BlockMasks block_masks(const char* p) {
    BlockMasks m{0, 0};
#if LINESPILL_SSE2
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i a = _mm_set1_epi8(A);
    const __m128i b = _mm_set1_epi8(B);
    const auto bits = [](__m128i eq) { return std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(eq))}; };
    for (std::size_t i = 0; i < kBlock; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        m.lf |= bits(_mm_cmpeq_epi8(v, lf)) << i;
        m.anchors |= bits(_mm_or_si128(_mm_cmpeq_epi8(v, a), _mm_cmpeq_epi8(v, b))) << i;
    }
#else
    for (std::size_t i = 0; i < kBlock; ++i) {
        m.lf |= std::uint64_t{p[i] == '\n'} << i;
        m.anchors |= std::uint64_t{p[i] == A || p[i] == B} << i;
    }
#endif
    return m;
}

// The number of set bits of `x`, in a few instructions where the machine has
// no instruction of its own for it (which a call to the library would take).
[[gnu::always_inline]] inline int count_bits(std::uint64_t x) {
    x -= (x >> 1) & 0x5555555555555555u;
    x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<int>((x * 0x0101010101010101u) >> 56);
}

}  // namespace linespill
