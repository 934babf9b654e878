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

// The ways of looking at blocks, for a scan written once over either:
// masks<A, B>(p) gives the masks of the block at p, count(x) the set bits.
struct NarrowBlocks {
    template <char A, char B>
    [[gnu::always_inline]] static BlockMasks masks(const char* p) { return block_masks<A, B>(p); }
    [[gnu::always_inline]] static int count(std::uint64_t x) { return count_bits(x); }
};

#if KIT_AVX2
// With AVX2, a block is two registers of 32 bytes, and the bits are counted
// by the processor's own instruction. Only for code compiled for AVX2
// (KIT_TARGET_AVX2) and run where kit::has_avx2(); such code inlines these
// by being flattened, since a function of the plain target must not.
struct WideBlocks {
    template <char A, char B>
    [[KIT_TARGET_AVX2]] static BlockMasks masks(const char* p) {
        const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
        const __m256i lf = _mm256_set1_epi8('\n');
        const __m256i a = _mm256_set1_epi8(A);
        const __m256i b = _mm256_set1_epi8(B);
        return BlockMasks{
            bits(_mm256_cmpeq_epi8(low, lf)) | bits(_mm256_cmpeq_epi8(high, lf)) << 32,
            bits(_mm256_or_si256(_mm256_cmpeq_epi8(low, a), _mm256_cmpeq_epi8(low, b))) |
                bits(_mm256_or_si256(_mm256_cmpeq_epi8(high, a), _mm256_cmpeq_epi8(high, b))) << 32,
        };
    }
    [[KIT_TARGET_AVX2]] static int count(std::uint64_t x) { return __builtin_popcountll(x); }

private:
    // Bit i set where byte i of a compare's result is set.
    [[KIT_TARGET_AVX2]] static std::uint64_t bits(__m256i eq) {
        return static_cast<std::uint32_t>(_mm256_movemask_epi8(eq));
    }
};
#endif

}  // namespace linespill
