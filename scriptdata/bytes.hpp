// Byte-level helpers of the record walking and the dump line formatting and
// parsing, made for many short fields: in line, with few branches, on whole
// words (and on SSE2 registers where the machine has them, as every x86-64
// does). Each does exactly what its plain statement says; only the speed
// differs.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

// The SSE2 paths, unless the plain ones are asked for (a build that tests them
// defines KIT_PLAIN_BYTES).
#if defined(__SSE2__) && !defined(KIT_PLAIN_BYTES)
#define KIT_BYTES_SSE2 1
#include <emmintrin.h>
#else
#define KIT_BYTES_SSE2 0
#endif

namespace scriptdata::bytes {

// The 8 bytes of `x` in the reverse order.
inline std::uint64_t byte_swap64(std::uint64_t x) {
    x = (x & 0x00FF00FF00FF00FFu) << 8 | (x >> 8 & 0x00FF00FF00FF00FFu);
    x = (x & 0x0000FFFF0000FFFFu) << 16 | (x >> 16 & 0x0000FFFF0000FFFFu);
    return x << 32 | x >> 32;
}

// The first byte in [p, end) that is A or B, or null. Names and strings are
// mostly short: with SSE2 their first 64 bytes are looked at together, with
// one branch; the rest 16 at a time (or by memchr, for one byte).
template <char A, char B = A>
[[gnu::always_inline]] inline const char* find_first(const char* p, const char* end) {
#if KIT_BYTES_SSE2
    const __m128i a = _mm_set1_epi8(A);
    const __m128i b = _mm_set1_epi8(B);
    const auto matches = [&a, &b](const char* q) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
        const __m128i m = A == B ? _mm_cmpeq_epi8(v, a) : _mm_or_si128(_mm_cmpeq_epi8(v, a), _mm_cmpeq_epi8(v, b));
        return std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(m))};
    };
    constexpr std::ptrdiff_t kWindow = 64;
    if (end - p >= kWindow) {
        const std::uint64_t found = matches(p) | matches(p + 16) << 16 | matches(p + 32) << 32 | matches(p + 48) << 48;
        if (found != 0) return p + std::countr_zero(found);
        p += kWindow;
    }
    if constexpr (A != B) {
        for (; end - p >= 16; p += 16) {
            if (const std::uint64_t found = matches(p)) return p + std::countr_zero(found);
        }
    }
#endif
    if constexpr (A == B) {
        return static_cast<const char*>(std::memchr(p, A, static_cast<std::size_t>(end - p)));
    } else {
        for (; p != end; ++p) {
            if (*p == A || *p == B) return p;
        }
        return nullptr;
    }
}

// The first LF in [p, end), or null.
[[gnu::always_inline]] inline const char* find_lf(const char* p, const char* end) { return find_first<'\n'>(p, end); }

// Writes `value` as 8 upper-case hexadecimal digits at out[0..7], without a
// table: the eight nibbles are spread into the eight bytes of one 64-bit
// word, turned into digits together, and stored at once.
[[gnu::always_inline]] inline void put_hex8(char* out, std::uint32_t value) {
    std::uint64_t x = value;
    x = (x | x << 16) & 0x0000FFFF0000FFFFu;
    x = (x | x << 8) & 0x00FF00FF00FF00FFu;
    x = (x | x << 4) & 0x0F0F0F0F0F0F0F0Fu;  // byte i: nibble i, counting from the lowest
    const std::uint64_t letters = ((x + 0x0606060606060606u) >> 4) & 0x0101010101010101u;  // nibble >= 10
    x += 0x3030303030303030u + letters * ('A' - '0' - 10);
    // The highest nibble's digit comes first in memory.
    if constexpr (std::endian::native == std::endian::little) x = byte_swap64(x);
    std::memcpy(out, &x, sizeof x);
}

// The 4 bytes at p as a big-endian word: its digits show them in order.
inline std::uint32_t word_be(const unsigned char* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

#if KIT_BYTES_SSE2
// Writes the 16 bytes of `x` as 32 upper-case hexadecimal digits at `out`,
// first byte first.
[[gnu::always_inline]] inline void put_hex16(char* out, __m128i x) {
    const __m128i low_nibbles = _mm_set1_epi8(0x0F);
    const __m128i high = _mm_and_si128(_mm_srli_epi16(x, 4), low_nibbles);
    const __m128i low = _mm_and_si128(x, low_nibbles);
    const auto digits = [](__m128i v) {
        const __m128i letter = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(9)), _mm_set1_epi8('A' - '0' - 10));
        return _mm_add_epi8(_mm_add_epi8(v, _mm_set1_epi8('0')), letter);
    };
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), digits(_mm_unpacklo_epi8(high, low)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), digits(_mm_unpackhi_epi8(high, low)));
}
#endif

// Writes the `N` bytes at `in` (N a multiple of 4, at least 16) as 2 * N
// upper-case hexadecimal digits at `out`, first byte first.
template <std::size_t N>
[[gnu::always_inline]] inline void put_hex_bytes(char* out, const unsigned char* in) {
    static_assert(N % 4 == 0 && N >= 16);
#if KIT_BYTES_SSE2
    // A last piece that would run past the end overlaps the one before.
    const auto piece = [](char* o, const unsigned char* i) {
        put_hex16(o, _mm_loadu_si128(reinterpret_cast<const __m128i*>(i)));
    };
    for (std::size_t i = 0; i + 16 <= N; i += 16) piece(out + 2 * i, in + i);
    if constexpr (N % 16 != 0) piece(out + 2 * (N - 16), in + N - 16);
#else
    for (std::size_t i = 0; i < N; i += 4) put_hex8(out + 2 * i, word_be(in + i));
#endif
}

// Writes the `count` little-endian words stored at `in` as 8 upper-case
// hexadecimal digits each (the highest first) at `out`.
[[gnu::always_inline]] inline void put_hex_words_le(char* out, const unsigned char* in, std::size_t count) {
    std::size_t j = 0;
#if KIT_BYTES_SSE2
    for (; j + 4 <= count; j += 4) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * j));
        // Each word's bytes reversed: its halves swapped, then the bytes of each half.
        x = _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, 0xB1), 0xB1);
        x = _mm_or_si128(_mm_slli_epi16(x, 8), _mm_srli_epi16(x, 8));
        put_hex16(out + 8 * j, x);
    }
#endif
    for (; j < count; ++j) {
        const unsigned char* w = in + 4 * j;
        put_hex8(out + 8 * j, std::uint32_t{w[0]} | std::uint32_t{w[1]} << 8 | std::uint32_t{w[2]} << 16 |
                                  std::uint32_t{w[3]} << 24);
    }
}

// Reads the 8 characters at p as hexadecimal digits (either case), the
// highest first, into `value`; false, leaving `value` alone, when any of
// them is no digit. The eight are checked and converted together in one
// 64-bit word.
[[gnu::always_inline]] inline bool get_hex8(const char* p, std::uint32_t& value) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    constexpr std::uint64_t kHigh = 0x8080808080808080u;
    std::uint64_t x;
    std::memcpy(&x, p, sizeof x);
    if constexpr (std::endian::native == std::endian::big) x = byte_swap64(x);  // byte i: character i
    // For bytes below 0x80 (checked), adding 0x80 - k sets a byte's high bit
    // exactly when the byte is at least k, and carries into no other byte.
    const auto at_least = [](unsigned char k, std::uint64_t v) { return (v + (0x80 - k) * kOnes) & kHigh; };
    const std::uint64_t lower = x | 0x20 * kOnes;  // 'A'..'F' as 'a'..'f'
    const std::uint64_t digit = at_least('0', x) & ~at_least('9' + 1, x);
    const std::uint64_t letter = at_least('a', lower) & ~at_least('f' + 1, lower);
    if (((digit | letter) & ~x & kHigh) != kHigh) return false;
    // Digit values: the low four bits, plus 9 for a letter.
    std::uint64_t n = (x & 0x0F * kOnes) + (letter >> 7) * 9;
    // Pairs of nibbles into bytes, bytes into halves, halves into the word.
    n = ((n & 0x00FF00FF00FF00FFu) << 4 | (n >> 8 & 0x00FF00FF00FF00FFu));  // 16-bit lane k: byte k
    n = ((n & 0x000000FF000000FFu) << 8 | (n >> 16 & 0x000000FF000000FFu));  // 32-bit lane k: bytes 2k, 2k+1
    value = static_cast<std::uint32_t>((n & 0xFFFFu) << 16 | (n >> 32 & 0xFFFFu));
    return true;
}

#if KIT_BYTES_SSE2
// Reads the 16 characters at `in` as hexadecimal digits (either case), two
// to a byte, into out[0, 8); false when any of them is no digit (`out` then
// holds anything). Signed comparisons: a byte of 0x80 or more is below every
// digit.
[[gnu::always_inline]] inline bool get_hex16(const char* in, unsigned char* out) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i lower = _mm_or_si128(x, _mm_set1_epi8(0x20));
    const __m128i digit =
        _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(x, _mm_set1_epi8('9' + 1)));
    const __m128i letter =
        _mm_and_si128(_mm_cmpgt_epi8(lower, _mm_set1_epi8('a' - 1)), _mm_cmplt_epi8(lower, _mm_set1_epi8('f' + 1)));
    const __m128i n = _mm_add_epi8(_mm_and_si128(x, _mm_set1_epi8(0x0F)), _mm_and_si128(letter, _mm_set1_epi8(9)));
    // 16-bit lane k: the high digit in its low byte, the low digit in its high byte.
    const __m128i b = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(n, _mm_set1_epi16(0x00FF)), 4), _mm_srli_epi16(n, 8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(b, b));
    return _mm_movemask_epi8(_mm_or_si128(digit, letter)) == 0xFFFF;
}
#endif

// Reads the 2 * N characters at `in` (N a multiple of 4, at least 16) as
// hexadecimal digits (either case), two to a byte, into out[0, N); false
// when any of them is no digit (`out` then holds anything).
template <std::size_t N>
[[gnu::always_inline]] inline bool get_hex_bytes(const char* in, unsigned char* out) {
    static_assert(N % 4 == 0 && N >= 16);
    bool ok = true;
#if KIT_BYTES_SSE2
    // A last piece that would run past the end overlaps the one before.
    for (std::size_t i = 0; i + 8 <= N; i += 8) ok &= get_hex16(in + 2 * i, out + i);
    if constexpr (N % 8 != 0) ok &= get_hex16(in + 2 * (N - 8), out + N - 8);
#else
    for (std::size_t i = 0; i < N; i += 4) {
        std::uint32_t v = 0;
        ok &= get_hex8(in + 2 * i, v);
        out[i] = static_cast<unsigned char>(v >> 24);
        out[i + 1] = static_cast<unsigned char>(v >> 16);
        out[i + 2] = static_cast<unsigned char>(v >> 8);
        out[i + 3] = static_cast<unsigned char>(v);
    }
#endif
    return ok;
}

// Reads `count` words of 8 hexadecimal digits each (either case, the highest
// first) at `in` into out[0, count); false when any character is no digit
// (`out` then holds anything).
[[gnu::always_inline]] inline bool get_hex_words(const char* in, std::size_t count, std::uint32_t* out) {
    bool ok = true;
    std::size_t j = 0;
#if KIT_BYTES_SSE2
    for (; j + 2 <= count; j += 2) {
        unsigned char b[8];
        ok &= get_hex16(in + 8 * j, b);
        out[j] = word_be(b);
        out[j + 1] = word_be(b + 4);
    }
#endif
    for (; j < count; ++j) ok &= get_hex8(in + 8 * j, out[j]);
    return ok;
}

}  // namespace scriptdata::bytes
