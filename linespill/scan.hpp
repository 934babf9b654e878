// Looking at a block of 64 bytes of a text archive at once: where its LFs are
// and where the bytes are that may anchor a marker. One pass over the text
// finds both, so that lines are counted from the masks and only the few
// lines that may hold a marker are looked at more closely.
#pragma once

#include <cstddef>
#include <cstdint>

#include "stream/simd.hpp"

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
#if KIT_SSE2
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i a = _mm_set1_epi8(A);
    const __m128i b = _mm_set1_epi8(B);
    for (std::size_t i = 0; i < kBlock; i += 16) {
        m.lf |= kit::match_mask16(p + i, lf, lf) << i;
        m.anchors |= kit::match_mask16(p + i, a, b) << i;
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
