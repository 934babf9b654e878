#include "scriptdata/dump_line.hpp"

#include <array>
#include <cstring>
#include <string_view>

#include "stream/failure.hpp"
#include "stream/hex.hpp"

namespace scriptdata::dump {
namespace {

constexpr int kStatusBadLine = -1;

// Every pair of characters read as two hexadecimal digits (either case),
// indexed by the first character times 256 plus the second: the byte they
// give with bit 8 set, or 0 when either is no digit. A byte of a field takes
// one lookup, and the pairs of a field are checked together: the AND of
// their entries keeps bit 8 only when every pair was two digits.
constexpr unsigned kPairValid = 0x100;

constexpr std::array<std::uint16_t, 256 * 256> make_pair_values() {
    std::array<std::uint16_t, 256 * 256> t{};
    constexpr std::string_view digits = "0123456789ABCDEFabcdef";
    for (const char high : digits) {
        for (const char low : digits) {
            const auto h = static_cast<unsigned char>(high);
            const auto l = static_cast<unsigned char>(low);
            t[h * 256u + l] = static_cast<std::uint16_t>(kPairValid | kit::kHexDigitValues[h] << 4 | kit::kHexDigitValues[l]);
        }
    }
    return t;
}
constexpr auto kPairValues = make_pair_values();

unsigned pair_value(const char* p) {
    return kPairValues[static_cast<unsigned char>(p[0]) * 256u + static_cast<unsigned char>(p[1])];
}

// Reads exactly 8 hexadecimal digits (either case) at text[pos]; false when
// the line ends first or another character stands among them.
bool hex_word(std::string_view text, std::size_t pos, std::uint32_t& value) {
    if (pos > text.size() || text.size() - pos < kWordDigits) return false;
    const char* p = text.data() + pos;
    const unsigned b0 = pair_value(p);
    const unsigned b1 = pair_value(p + 2);
    const unsigned b2 = pair_value(p + 4);
    const unsigned b3 = pair_value(p + 6);
    if ((b0 & b1 & b2 & b3 & kPairValid) == 0) return false;
    value = (b0 & 0xFFu) << 24 | (b1 & 0xFFu) << 16 | (b2 & 0xFFu) << 8 | (b3 & 0xFFu);
    return true;
}

// Reads the property block's bytes, two hexadecimal digits each, at
// text[pos]; false when the line ends first or another character stands
// among them.
bool hex_block(std::string_view text, std::size_t pos, std::array<unsigned char, kPropertyBlockSize>& block) {
    if (pos > text.size() || text.size() - pos < kPropertyDigits) return false;
    const char* p = text.data() + pos;
    unsigned all = kPairValid;
    for (std::size_t b = 0; b < kPropertyBlockSize; ++b) {
        const unsigned value = pair_value(p + 2 * b);
        all &= value;
        block[b] = static_cast<unsigned char>(value);
    }
    return (all & kPairValid) != 0;
}

// Throws the message of a rejected line: what was expected at `pos` (counting
// from 0), and where the line ends when the expected field does not fit it.
[[noreturn]] void reject(const Place& place, std::string_view text, std::size_t pos, std::size_t width,
                         std::string_view expected) {
    std::string m(place.file);
    m += ": line " + std::to_string(place.line_number) + ", column " + std::to_string(pos + 1) + ": expected ";
    m += expected;
    if (pos + width > text.size()) m += ", but the line ends after " + std::to_string(text.size()) + " characters";
    m += "\n";
    kit::fail(kStatusBadLine, std::move(m));
}

void expect_separator(const Place& place, std::string_view text, std::size_t pos) {
    if (pos >= text.size() || text[pos] != kSeparator) reject(place, text, pos, 1, "the separator \"@\"");
}

std::uint32_t expect_word(const Place& place, std::string_view text, std::size_t pos, std::string_view field) {
    std::uint32_t value = 0;
    if (!hex_word(text, pos, value)) {
        reject(place, text, pos, kWordDigits, "the 8 hexadecimal digits of the " + std::string(field));
    }
    return value;
}

}  // namespace

std::size_t line_size(const Record& r) {
    std::size_t content = 0;
    switch (r.content) {
        case Content::marker:
            content = kMarkerFieldSize;
            break;
        case Content::words:
        case Content::one_word:
            content = r.words.size() * kWordDigits + 1;
            break;
        case Content::strings:
            for (std::size_t j = 0; j < r.string_count; ++j) content += r.strings[j].size() + 1;
            content += 1;
            break;
        case Content::absent:
            break;
    }
    return kNamePos + r.name.size() + 1 + kPropertyDigits + 1 + content + kWordDigits + 1;
}

void format_line(std::uint32_t index, const Record& r, char* p) {
    const auto word = [&p](std::uint32_t value) {
        kit::put_hex8(p, value);
        p += kWordDigits;
    };
    const auto bytes = [&p](std::string_view text) {
        if (!text.empty()) std::memcpy(p, text.data(), text.size());
        p += text.size();
    };
    word(index);
    *p++ = kSeparator;
    word(r.name_present);
    *p++ = kSeparator;
    bytes(r.name);
    *p++ = kSeparator;
    for (const unsigned char b : r.block) {
        kit::put_hex2(p, b);
        p += kByteDigits;
    }
    *p++ = kSeparator;
    switch (r.content) {
        case Content::marker:
            bytes(kEmptyMarker);
            *p++ = kSeparator;
            break;
        case Content::words:
        case Content::one_word:
            for (const std::uint32_t w : r.words) word(w);
            *p++ = kSeparator;
            break;
        case Content::strings:
            for (std::size_t j = 0; j < r.string_count; ++j) {
                bytes(r.strings[j]);
                *p++ = kStringEnd;
            }
            *p++ = kSeparator;
            break;
        case Content::absent:
            break;
    }
    word(r.parent);
    *p = '\n';
}

void format_line(std::uint32_t index, const Record& r, std::string& out) {
    // The string's capacity carries over from line to line.
    out.resize(line_size(r));
    format_line(index, r, out.data());
}

void parse_line(std::string_view text, const Place& place, Line& out) {
    expect_word(place, text, kIndexPos, "index field");  // its value is not used: line k is record k
    expect_separator(place, text, kIndexPos + kWordDigits);
    const std::uint32_t name_present = expect_word(place, text, kNamePresentPos, "name-present field");
    if (name_present != kNamePresent) {
        kit::fail(kStatusBadLine, std::string(place.file) + ": line " + std::to_string(place.line_number) +
                                      ", column " + std::to_string(kNamePresentPos + 1) + ": name-present field " +
                                      kit::hex8(name_present) + " is not " + kit::hex8(kNamePresent) + "\n");
    }
    expect_separator(place, text, kNamePresentPos + kWordDigits);

    const std::size_t name_end = text.size() > kNamePos ? text.find(kSeparator, kNamePos) : std::string_view::npos;
    if (name_end == std::string_view::npos) reject(place, text, kNamePos, 1, "the \"@\" that ends the name");
    out.name = text.substr(kNamePos, name_end - kNamePos);
    std::size_t pos = name_end + 1;

    if (!hex_block(text, pos, out.block)) {
        reject(place, text, pos, kPropertyDigits, "the 56 hexadecimal digits of the property field");
    }
    pos += kPropertyDigits;
    expect_separator(place, text, pos);
    ++pos;

    out.descriptor = decode_descriptor(out.block.data());
    out.content = content_of(out.descriptor);
    const std::size_t n = out.descriptor.element_count;
    switch (out.content) {
        case Content::marker:
            // The marker's 8 characters are not looked at; its "@" is.
            if (pos + kMarkerFieldSize > text.size()) {
                reject(place, text, pos, kMarkerFieldSize, "the 9 characters of the empty content field");
            }
            pos += kEmptyMarker.size();
            expect_separator(place, text, pos);
            ++pos;
            break;
        case Content::words:
        case Content::one_word: {
            const std::size_t count = out.content == Content::words ? n : 1;
            out.words.resize(count);
            for (std::size_t j = 0; j < count; ++j) {
                if (!hex_word(text, pos, out.words[j])) {
                    reject(place, text, pos, kWordDigits,
                           out.content == Content::one_word
                               ? std::string("the 8 hexadecimal digits of the word element")
                               : "the 8 hexadecimal digits of word element " + std::to_string(j + 1) + " of " +
                                     std::to_string(count));
                }
                pos += kWordDigits;
            }
            expect_separator(place, text, pos);
            ++pos;
            break;
        }
        case Content::strings: {
            out.strings.resize(n);
            if (n == 1) {
                // A single string runs to the last "^" of the line, so it may hold "^".
                const std::size_t end = text.rfind(kStringEnd);
                if (end == std::string_view::npos || end < pos) {
                    reject(place, text, pos, 1, "a string ended by \"^\"");
                }
                out.strings[0] = text.substr(pos, end - pos);
                pos = end + 1;
            } else {
                for (std::size_t j = 0; j < n; ++j) {
                    const std::size_t end = pos < text.size() ? text.find(kStringEnd, pos) : std::string_view::npos;
                    if (end == std::string_view::npos) {
                        reject(place, text, pos, 1,
                               "string " + std::to_string(j + 1) + " of " + std::to_string(n) +
                                   " ended by \"^\", as the element count asks");
                    }
                    out.strings[j] = text.substr(pos, end - pos);
                    pos = end + 1;
                }
            }
            expect_separator(place, text, pos);
            ++pos;
            break;
        }
        case Content::absent:
            break;
    }
    out.parent = expect_word(place, text, pos, "parent field");  // anything after it is not looked at
}

}  // namespace scriptdata::dump
