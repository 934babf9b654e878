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

#include "stream/simd.hpp"

namespace scriptdata::bytes {

// The 8 bytes of `x` in the reverse order.
inline std::uint64_t byte_swap64(std::uint64_t x) {
    x = (x & 0x00FF00FF00FF00FFu) << 8 | (x >> 8 & 0x00FF00FF00FF00FFu);
    x = (x & 0x0000FFFF0000FFFFu) << 16 | (x >> 16 & 0x0000FFFF0000FFFFu);
    return x << 32 | x >> 32;
}

// The first byte in [p, end) that is A or B, or null. Names and strings are
// mostly short: with SSE2 their first `Window` bytes (16, 32 or 64) are
// looked at together, with one branch; the rest 16 at a time (or by memchr,
// for one byte).
template <char A, char B = A, std::ptrdiff_t Window = 64>
[[gnu::always_inline]] inline const char* find_first(const char* p, const char* end) {
    static_assert(Window == 16 || Window == 32 || Window == 64);
#if KIT_SSE2
    const __m128i a = _mm_set1_epi8(A);
    const __m128i b = _mm_set1_epi8(B);
    const auto matches = [&a, &b](const char* q) { return kit::match_mask16(q, a, b); };
    if (end - p >= Window) {
        std::uint64_t found = matches(p);
        if constexpr (Window >= 32) found |= matches(p + 16) << 16;
        if constexpr (Window == 64) found |= matches(p + 32) << 32 | matches(p + 48) << 48;
        if (found != 0) return p + std::countr_zero(found);
        p += Window;
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

#if KIT_SSE2
// The upper-case hexadecimal digits of the nibbles (0..15) in the bytes of `v`.
[[gnu::always_inline]] inline __m128i hex_digit_bytes(__m128i v) {
    const __m128i letter = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(9)), _mm_set1_epi8('A' - '0' - 10));
    return _mm_add_epi8(_mm_add_epi8(v, _mm_set1_epi8('0')), letter);
}
#endif

// Writes `value` as 8 upper-case hexadecimal digits at out[0..7], without a
// table. With SSE2 each of its four bytes becomes a 16-bit lane of its two
// nibbles, the lanes are put highest byte first, turned into digits and
// stored together; else the eight nibbles are spread into the eight bytes of
// one 64-bit word and turned into digits there.
[[gnu::always_inline]] inline void put_hex8(char* out, std::uint32_t value) {
#if KIT_SSE2
    const __m128i low_nibbles = _mm_set1_epi8(0x0F);
    const __m128i x = _mm_cvtsi32_si128(static_cast<int>(value));
    const __m128i high = _mm_and_si128(_mm_srli_epi16(x, 4), low_nibbles);
    const __m128i pairs = _mm_unpacklo_epi8(high, _mm_and_si128(x, low_nibbles));  // lane k: byte k's nibbles
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), hex_digit_bytes(_mm_shufflelo_epi16(pairs, 0x1B)));
#else
    std::uint64_t x = value;
    x = (x | x << 16) & 0x0000FFFF0000FFFFu;
    x = (x | x << 8) & 0x00FF00FF00FF00FFu;
    x = (x | x << 4) & 0x0F0F0F0F0F0F0F0Fu;  // byte i: nibble i, counting from the lowest
    const std::uint64_t letters = ((x + 0x0606060606060606u) >> 4) & 0x0101010101010101u;  // nibble >= 10
    x += 0x3030303030303030u + letters * ('A' - '0' - 10);
    // The highest nibble's digit comes first in memory.
    if constexpr (std::endian::native == std::endian::little) x = byte_swap64(x);
    std::memcpy(out, &x, sizeof x);
#endif
}

// The 4 bytes at p as a big-endian word: its digits show them in order.
inline std::uint32_t word_be(const unsigned char* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

#if KIT_SSE2
// Writes the 16 bytes of `x` as 32 upper-case hexadecimal digits at `out`,
// first byte first.
[[gnu::always_inline]] inline void put_hex16(char* out, __m128i x) {
    const __m128i low_nibbles = _mm_set1_epi8(0x0F);
    const __m128i high = _mm_and_si128(_mm_srli_epi16(x, 4), low_nibbles);
    const __m128i low = _mm_and_si128(x, low_nibbles);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), hex_digit_bytes(_mm_unpacklo_epi8(high, low)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), hex_digit_bytes(_mm_unpackhi_epi8(high, low)));
}
#endif

// Writes the `N` bytes at `in` (N a multiple of 4, at least 16) as 2 * N
// upper-case hexadecimal digits at `out`, first byte first.
template <std::size_t N>
[[gnu::always_inline]] inline void put_hex_bytes(char* out, const unsigned char* in) {
    static_assert(N % 4 == 0 && N >= 16);
#if KIT_SSE2
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

#if KIT_SSE2
// The bytes of each 4 of `x` reversed: the halves swapped, then the bytes of each half.
[[gnu::always_inline]] inline __m128i reversed_words(__m128i x) {
    x = _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, 0xB1), 0xB1);
    return _mm_or_si128(_mm_slli_epi16(x, 8), _mm_srli_epi16(x, 8));
}

// Writes the 4 little-endian words at `in` as 32 hexadecimal digits at `out`.
[[gnu::always_inline]] inline void put_hex4_words_le(char* out, const unsigned char* in) {
    put_hex16(out, reversed_words(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in))));
}

// Writes the 2 little-endian words at `in` as 16 hexadecimal digits at `out`.
[[gnu::always_inline]] inline void put_hex2_words_le(char* out, const unsigned char* in) {
    const __m128i x = reversed_words(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(in)));
    const __m128i low_nibbles = _mm_set1_epi8(0x0F);
    const __m128i high = _mm_and_si128(_mm_srli_epi16(x, 4), low_nibbles);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), hex_digit_bytes(_mm_unpacklo_epi8(high, _mm_and_si128(x, low_nibbles))));
}
#endif

// Writes the `count` little-endian words stored at `in` as 8 upper-case
// hexadecimal digits each (the highest first) at `out`. With SSE2, four words
// at a time and a last four that overlap the ones before, or two and two
// overlapping: a run of any length takes one loop and no steps word by word,
// whose number the processor could not foresee.
[[gnu::always_inline]] inline void put_hex_words_le(char* out, const unsigned char* in, std::size_t count) {
#if KIT_SSE2
    if (count >= 4) {
        std::size_t j = 0;
        for (; j + 4 <= count; j += 4) put_hex4_words_le(out + 8 * j, in + 4 * j);
        if (j != count) put_hex4_words_le(out + 8 * (count - 4), in + 4 * (count - 4));
        return;
    }
    if (count >= 2) {
        put_hex2_words_le(out, in);
        put_hex2_words_le(out + 8 * (count - 2), in + 4 * (count - 2));
        return;
    }
#endif
    for (std::size_t j = 0; j < count; ++j) {
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

#if KIT_SSE2
// The hexadecimal digits (either case) of the 16 characters in `x` taken two
// to a byte: 16-bit lane k holds the byte of characters 2k and 2k+1. The
// bytes of `bad` that stand for a character that is no digit are set to
// something other than 0. With d = x - '0' and l = (x | 0x20) - 'a' (both
// wrapping), exactly the digits have d <= 9 and exactly the letters l <= 5;
// a digit's value is then the smaller of d and l + 10.
[[gnu::always_inline]] inline __m128i hex_pairs(__m128i x, __m128i& bad) {
    const __m128i d = _mm_sub_epi8(x, _mm_set1_epi8('0'));
    const __m128i l = _mm_sub_epi8(_mm_or_si128(x, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
    bad = _mm_or_si128(bad, _mm_min_epu8(_mm_subs_epu8(d, _mm_set1_epi8(9)), _mm_subs_epu8(l, _mm_set1_epi8(5))));
    const __m128i n = _mm_min_epu8(d, _mm_add_epi8(l, _mm_set1_epi8(10)));
    // The high digit is in the low byte of each 16-bit lane, the low digit in
    // its high byte: the high digit moved to the top of the lane joins the
    // low one there, and the byte they make moves down.
    return _mm_srli_epi16(_mm_or_si128(_mm_slli_epi16(n, 12), n), 8);
}

// hex_pairs of the 16 characters at `in`.
[[gnu::always_inline]] inline __m128i load_hex_pairs(const char* in, __m128i& bad) {
    return hex_pairs(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), bad);
}

// hex_pairs of the bytes of each 4 reversed, so that packing them gives
// little-endian words.
[[gnu::always_inline]] inline __m128i load_hex_pairs_le(const char* in, __m128i& bad) {
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(load_hex_pairs(in, bad), 0x1B), 0x1B);
}

[[gnu::always_inline]] inline bool none_bad(__m128i bad) {
    return _mm_movemask_epi8(_mm_cmpeq_epi8(bad, _mm_setzero_si128())) == 0xFFFF;
}
#endif

// Reads the 2 * N characters at `in` (N a multiple of 4, at least 16) as
// hexadecimal digits (either case), two to a byte, into out[0, N); false
// when any of them is no digit (`out` then holds anything).
template <std::size_t N>
[[gnu::always_inline]] inline bool get_hex_bytes(const char* in, unsigned char* out) {
    static_assert(N % 4 == 0 && N >= 16);
#if KIT_SSE2
    // 32 characters give 16 bytes; a last piece that would run past the end
    // overlaps the one before.
    __m128i bad = _mm_setzero_si128();
    const auto piece = [&bad](const char* i, unsigned char* o) {
        const __m128i a = load_hex_pairs(i, bad);
        const __m128i b = load_hex_pairs(i + 16, bad);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_packus_epi16(a, b));
    };
    for (std::size_t i = 0; i + 16 <= N; i += 16) piece(in + 2 * i, out + i);
    if constexpr (N % 16 != 0) piece(in + 2 * (N - 16), out + N - 16);
    return none_bad(bad);
#else
    bool ok = true;
    for (std::size_t i = 0; i < N; i += 4) {
        std::uint32_t v = 0;
        ok &= get_hex8(in + 2 * i, v);
        out[i] = static_cast<unsigned char>(v >> 24);
        out[i + 1] = static_cast<unsigned char>(v >> 16);
        out[i + 2] = static_cast<unsigned char>(v >> 8);
        out[i + 3] = static_cast<unsigned char>(v);
    }
    return ok;
#endif
}

#if KIT_SSE2
// Reads the 32 characters at `in` as 4 words into out[0, 16), little-endian;
// marks `bad` as hex_pairs does.
[[gnu::always_inline]] inline void get_hex4_words_le(const char* in, unsigned char* out, __m128i& bad) {
    const __m128i a = load_hex_pairs_le(in, bad);
    const __m128i b = load_hex_pairs_le(in + 16, bad);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(a, b));
}

// Reads the 16 characters at `in` as 2 words into out[0, 8), little-endian.
[[gnu::always_inline]] inline void get_hex2_words_le(const char* in, unsigned char* out, __m128i& bad) {
    const __m128i a = load_hex_pairs_le(in, bad);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(a, a));
}
#endif

// Reads `count` words of 8 hexadecimal digits each (either case, the highest
// first) at `in` and stores them little-endian at out[0, 4 * count); false
// when any character is no digit (`out` then holds anything).
[[gnu::always_inline]] inline bool get_hex_words_le(const char* in, std::size_t count, unsigned char* out) {
#if KIT_SSE2
    // As put_hex_words_le: four words at a time and a last four overlapping
    // the ones before, or two and two overlapping, or one.
    __m128i bad = _mm_setzero_si128();
    if (count >= 4) {
        std::size_t j = 0;
        for (; j + 4 <= count; j += 4) get_hex4_words_le(in + 8 * j, out + 4 * j, bad);
        if (j != count) get_hex4_words_le(in + 8 * (count - 4), out + 4 * (count - 4), bad);
    } else if (count >= 2) {
        get_hex2_words_le(in, out, bad);
        get_hex2_words_le(in + 8 * (count - 2), out + 4 * (count - 2), bad);
    } else if (count == 1) {
        // 8 characters; the other half of the register as digits "0".
        const __m128i x = _mm_or_si128(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(in)),
                                       _mm_set_epi64x(0x3030303030303030, 0));
        const __m128i a = _mm_shufflelo_epi16(hex_pairs(x, bad), 0x1B);
        const int word = _mm_cvtsi128_si32(_mm_packus_epi16(a, a));
        std::memcpy(out, &word, sizeof word);
    }
    return none_bad(bad);
#else
    bool ok = true;
    for (std::size_t j = 0; j < count; ++j) {
        std::uint32_t v = 0;
        ok &= get_hex8(in + 8 * j, v);
        out[4 * j] = static_cast<unsigned char>(v);
        out[4 * j + 1] = static_cast<unsigned char>(v >> 8);
        out[4 * j + 2] = static_cast<unsigned char>(v >> 16);
        out[4 * j + 3] = static_cast<unsigned char>(v >> 24);
    }
    return ok;
#endif
}

// Whether the 8 characters at p are hexadecimal digits (either case) and
// the 8 after them are after[0, 8).
[[gnu::always_inline]] inline bool hex8_followed_by(const char* p, const char* after) {
#if KIT_SSE2
    // The first half checked as digits, the second compared.
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i bad = _mm_setzero_si128();
    hex_pairs(x, bad);
    const __m128i want = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(after));
    const __m128i same = _mm_cmpeq_epi8(x, _mm_unpacklo_epi64(x, want));  // the first half always the same
    return none_bad(_mm_or_si128(_mm_and_si128(bad, _mm_set_epi64x(0, -1)), _mm_andnot_si128(same, _mm_set_epi64x(-1, 0))));
#else
    std::uint32_t value = 0;
    return get_hex8(p, value) && std::memcmp(p + 8, after, 8) == 0;
#endif
}

// The copies with and without replacing bytes, shared with the streams.
using kit::copy;
using kit::copy_replacing;
using kit::replaced_in_word;

// Whether any of the 8 bytes at p is C: a byte of x ^ C...C is 0 exactly
// there, and subtracting 1 from every byte then borrows through its high bit.
template <char C>
[[gnu::always_inline]] inline bool holds8(const char* p) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    std::uint64_t x;
    std::memcpy(&x, p, sizeof x);
    x ^= kOnes * static_cast<unsigned char>(C);
    return ((x - kOnes) & ~x & kOnes * 0x80) != 0;
}

// The last byte in [begin, end) that is C, or null (shared with the line list).
using kit::find_last;

// The end of n LF-ended lines from p, their last LF included, or null when
// [p, end) holds fewer. With SSE2 the LFs of 64 bytes are found together and
// taken one by one, so that short lines do not look at the same bytes again;
// a line that runs past them is searched by memchr.
[[gnu::always_inline]] inline const char* past_lines(const char* p, const char* end, std::size_t n) {
#if KIT_SSE2
    const __m128i lf = _mm_set1_epi8('\n');
    const auto matches = [&lf](const char* q) { return kit::match_mask16(q, lf, lf); };
    while (n != 0 && end - p >= 64) {
        std::uint64_t found = matches(p) | matches(p + 16) << 16 | matches(p + 32) << 32 | matches(p + 48) << 48;
        if (found == 0) {
            const char* const q = static_cast<const char*>(std::memchr(p + 64, '\n', static_cast<std::size_t>(end - p - 64)));
            if (q == nullptr) return nullptr;
            p = q + 1;
            --n;
            continue;
        }
        for (;;) {
            if (--n == 0) return p + std::countr_zero(found) + 1;
            found &= found - 1;
            if (found == 0) break;
        }
        p += 64;
    }
#endif
    for (; n != 0; --n) {
        const char* const q = find_lf(p, end);
        if (q == nullptr) return nullptr;
        p = q + 1;
    }
    return p;
}

// Copies the n (at least 1) pieces from src, each ended by an `End` byte and
// holding no `Stop` byte, to dst with each `End` byte turned into `To`.
// Returns the end of the last piece in src (past its `End` byte), or null
// when a `Stop` byte or the end of [src, end) comes first. dst may receive
// more than the pieces, up to end - src bytes in all. With SSE2 both bytes
// of 16 are found together, the `End` bytes taken one by one, and the 16
// copied at once.
template <char End, char Stop, char To>
[[gnu::always_inline]] inline const char* copy_pieces(char* dst, const char* src, const char* end, std::size_t n) {
#if KIT_SSE2
    const __m128i e = _mm_set1_epi8(End);
    const __m128i s = _mm_set1_epi8(Stop);
    for (; end - src >= 16; src += 16, dst += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
        const __m128i at_end = _mm_cmpeq_epi8(x, e);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst),
                         _mm_xor_si128(x, _mm_and_si128(at_end, _mm_set1_epi8(static_cast<char>(End ^ To)))));
        auto ends = static_cast<unsigned>(_mm_movemask_epi8(at_end));
        const auto stops = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, s)));
        for (; ends != 0; ends &= ends - 1) {
            if ((stops & ((ends & (0u - ends)) - 1)) != 0) return nullptr;  // a stop before this end
            if (--n == 0) return src + std::countr_zero(ends) + 1;
        }
        if (stops != 0) return nullptr;
    }
#endif
    for (; src != end; ++src, ++dst) {
        if (*src == Stop) return nullptr;
        if (*src == End) {
            *dst = To;
            if (--n == 0) return src + 1;
        } else {
            *dst = *src;
        }
    }
    return nullptr;
}

// Copies the bytes from src up to the first LF in [src, end) to dst and
// returns that LF, or null when there is none. dst may receive more than
// those bytes, up to end - src in all. With SSE2 16 bytes are copied and
// looked at together.
[[gnu::always_inline]] inline const char* copy_to_lf(char* dst, const char* src, const char* end) {
#if KIT_SSE2
    const __m128i lf = _mm_set1_epi8('\n');
    for (; end - src >= 16; src += 16, dst += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), x);
        if (const auto found = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, lf)))) {
            return src + std::countr_zero(found);
        }
    }
#endif
    for (; src != end; ++src, ++dst) {
        if (*src == '\n') return src;
        *dst = *src;
    }
    return nullptr;
}

}  // namespace scriptdata::bytes
