#include "stream/hex.hpp"

#include <array>

namespace kit {
namespace {

constexpr const auto& kValues = kHexDigitValues;

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::size_t put_dec(char* out, std::int32_t value) {
    char tmp[10];
    std::size_t n = 0;
    std::size_t len = 0;
    // Work on the magnitude in 32 unsigned bits so INT32_MIN needs no care.
    std::uint32_t mag = static_cast<std::uint32_t>(value);
    if (value < 0) {
        out[len++] = '-';
        mag = 0u - mag;
    }
    do {
        tmp[n++] = static_cast<char>('0' + mag % 10);
        mag /= 10;
    } while (mag != 0);
    while (n > 0) out[len++] = tmp[--n];
    return len;
}

std::string hex8(std::uint32_t value) {
    std::string s(8, '0');
    put_hex8(s.data(), value);
    return s;
}

std::string dec(std::int32_t value) {
    char buf[11];
    return std::string(buf, put_dec(buf, value));
}

std::optional<HexField> read_hex_field(std::string_view text, unsigned width) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && is_space(text[i])) ++i;
    unsigned places = width;
    bool negative = false;
    if (places > 0 && i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
        --places;
    }
    if (places >= 2 && i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        i += 2;
        places -= 2;
    }
    std::uint32_t value = 0;
    unsigned digits = 0;
    while (places > 0 && i < n) {
        const int d = kValues[static_cast<unsigned char>(text[i])];
        if (d < 0) break;
        value = (value << 4) | static_cast<std::uint32_t>(d);
        ++i;
        --places;
        ++digits;
    }
    if (digits == 0) return std::nullopt;
    if (negative) value = 0u - value;
    return HexField{value, i};
}

bool is_hex_run(std::string_view text, std::size_t width) {
    if (text.size() < width) return false;
    for (std::size_t i = 0; i < width; ++i) {
        if (kValues[static_cast<unsigned char>(text[i])] < 0) return false;
    }
    return true;
}

std::uint32_t hex_run_value(std::string_view text, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value = (value << 4) | static_cast<std::uint32_t>(kValues[static_cast<unsigned char>(text[i])]);
    }
    return value;
}

}  // namespace kit
