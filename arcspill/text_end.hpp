// Where the text of a short string ends: the text archive carries a string's
// bytes up to its first zero byte. Most strings of an archive are a few dozen
// bytes, for which a call to memchr costs more than the search: with SSE2 the
// 32 or 64 bytes that hold such a string are looked at together, without a
// branch.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "stream/simd.hpp"

namespace arcspill {

// The number of bytes of [p, p + n) before the first zero byte, n when there
// is none. Needs n <= Window (32 or 64) and Window bytes readable from p,
// though only the first n are looked at.
template <std::size_t Window>
[[gnu::always_inline]] inline std::size_t text_length(const char* p, std::size_t n) {
    static_assert(Window == 32 || Window == 64);
#if KIT_SSE2
    const __m128i zero = _mm_setzero_si128();
    std::uint64_t found = 0;
    for (std::size_t i = 0; i < Window; i += 16) found |= kit::match_mask16(p + i, zero, zero) << i;
    // A bit at n stands for the end of the string, so the first set bit is
    // the answer; a string of 64 bytes without a zero byte leaves no bit set,
    // which counts 64.
    if (Window < 64 || n < 64) found |= std::uint64_t{1} << n;
    return static_cast<std::size_t>(std::countr_zero(found));
#else
    const void* zero = std::memchr(p, '\0', n);
    return zero == nullptr ? n : static_cast<std::size_t>(static_cast<const char*>(zero) - p);
#endif
}

}  // namespace arcspill
