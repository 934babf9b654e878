// Hexadecimal and decimal fields, as every format of the kit writes and reads
// them: words as 8 upper-case digits, bytes as 2, signed decimal without
// padding, and the lenient field reading with a width in places.
#pragma once

#include <array>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace kit {

namespace hex_detail {

// The two output characters of every byte value, so a byte takes one lookup.
constexpr std::array<std::array<char, 2>, 256> make_pairs() {
    constexpr char digits[] = "0123456789ABCDEF";
    std::array<std::array<char, 2>, 256> t{};
    for (int i = 0; i < 256; ++i) t[static_cast<std::size_t>(i)] = {digits[i >> 4], digits[i & 15]};
    return t;
}
inline constexpr auto kPairs = make_pairs();

}  // namespace hex_detail

// Writes `value` as 2 upper-case hexadecimal digits at out[0..1].
inline void put_hex2(char* out, std::uint8_t value) {
    std::memcpy(out, hex_detail::kPairs[value].data(), 2);
}
// Writes `value` as 8 upper-case hexadecimal digits at out[0..7].
inline void put_hex8(char* out, std::uint32_t value) {
    put_hex2(out, static_cast<std::uint8_t>(value >> 24));
    put_hex2(out + 2, static_cast<std::uint8_t>(value >> 16));
    put_hex2(out + 4, static_cast<std::uint8_t>(value >> 8));
    put_hex2(out + 6, static_cast<std::uint8_t>(value));
}
// Writes `value` as signed decimal ("-" for negatives, no padding) at `out`,
// which must hold 11 bytes; returns the number of characters written.
std::size_t put_dec(char* out, std::int32_t value);

std::string hex8(std::uint32_t value);
std::string dec(std::int32_t value);

// Value of every byte as a hexadecimal digit in either case, -1 for any other
// byte; a compile-time table, so other tables can be built from it.
inline constexpr std::array<signed char, 256> kHexDigitValues = [] {
    std::array<signed char, 256> t{};
    for (auto& v : t) v = -1;
    for (int i = 0; i < 10; ++i) t[static_cast<std::size_t>('0' + i)] = static_cast<signed char>(i);
    for (int i = 0; i < 6; ++i) {
        t[static_cast<std::size_t>('A' + i)] = static_cast<signed char>(10 + i);
        t[static_cast<std::size_t>('a' + i)] = static_cast<signed char>(10 + i);
    }
    return t;
}();

// Value of a hexadecimal digit in either case, or -1 for any other byte.
inline int hex_digit_value(unsigned char c) { return kHexDigitValues[c]; }

struct HexField {
    std::uint32_t value;
    std::size_t end;  // index just past the last character taken
};

// Reads a hexadecimal field of `width` places from the start of `text`:
// leading white space (taking no places), an optional sign (one place), an
// optional "0x"/"0X" prefix (two places), then digits while places remain.
// The end of `text` acts as the terminating zero byte: nothing past it is
// looked at. Returns nothing when no digit was read. A minus sign negates the
// value in 32 bits.
std::optional<HexField> read_hex_field(std::string_view text, unsigned width);

// True when text[0..width) holds exactly `width` hexadecimal digits (either
// case); the strict check applied where a field must keep its full width.
bool is_hex_run(std::string_view text, std::size_t width);

// Value of exactly `width` (<= 8) hexadecimal digits; call after is_hex_run.
std::uint32_t hex_run_value(std::string_view text, std::size_t width);

}  // namespace kit
